// SPDX-License-Identifier: MIT
#pragma once

#include "record/Event.h"

#include <string>

namespace brelvo {

// Stable names for machine-read logs: "request_no_firmware", "warning",
// "datagram".
const char* eventKindName(EventKind kind);
const char* severityName(Severity severity);
const char* icmpMethodName(IcmpMethod method);

// How serious an event is, from its kind and the fields that tell (code,
// value, icmp), for producers to fill Event::severity with.
Severity severityOf(const Event& event);

// One English line for the command line and the window's log, without a
// time stamp and without a line end. Text from outside (product codes,
// paths, details) goes through displayText, so the line obeys nothing it
// carries. A job's lines begin with its table row ("#03"), the device's
// address and its hardware address when known: "#03 10.0.0.23 (aa:..:ff): ".
std::string formatEventText(const Event& event);

// One JSON object on one line (JSON Lines), without the line end. Fields,
// always in this order and only where meaningful for the kind:
//   time (ISO 8601 local with offset), event, severity, job, row,
//   device ("a.b.c.d:port"), mac ("aa:bb:cc:dd:ee:ff", a job's, once
//   known), product, product_hex (only when the product code is not valid
//   UTF-8: its bytes in hex, since "product" then holds U+FFFD in their
//   place), lent, job_port, port, code, error (the English
//   errno text), status, value, checksum ("0x%08x"), options, path,
//   detail, icmp, tool (another tool's address).
std::string formatEventJson(const Event& event);

} // namespace brelvo
