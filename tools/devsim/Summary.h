// SPDX-License-Identifier: MIT
#pragma once
// What brelvo-devsim prints once the devices have finished. Scripts and
// tests read the summary lines' fields by name: fields are only ever added
// at the end of the line.

#include "DevsimOptions.h"
#include "Fleet.h"

namespace devsim {

// Saves what each device received (--save-image) and prints its violations,
// its failure and its summary line; true when every device succeeded and
// every save worked.
bool reportDevices(const DevsimOptions& o, const Fleet& fleet);

// --cpu-report: this process's CPU time, and its share per Block received.
void printCpuReport(const Fleet& fleet);

} // namespace devsim
