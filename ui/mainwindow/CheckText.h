// SPDX-License-Identifier: MIT
#pragma once

#include "check/Finding.h"

#include <QCoreApplication>
#include <QString>

// The window's texts of a pre-flight finding, in the language of the
// catalogue installed in the application (context "CheckText", keys
// "Finding.*" for what was found and "Remedy.*" for what to do). Built from
// the finding's id and named arguments; the engine's English texts
// (check/FindingText.h) are the reference. Paths, names and other arguments
// from the disk or the system go through displayText. Error texts the
// engine gives (the system's errno texts) are English.
class CheckText
{
    Q_DECLARE_TR_FUNCTIONS(CheckText)

public:
    static QString message(const brelvo::Finding& finding);
    // Empty for findings that need nothing done.
    static QString remedy(const brelvo::Finding& finding);

private:
    static QString arg(const brelvo::Finding& finding, const char* key);
    static QString code(const brelvo::Finding& finding);
};
