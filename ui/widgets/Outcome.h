// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>

// How a device's update stands, as the device table colours it: the status
// text and the progress bar take the outcome's colour, so the result reads
// at a glance and does not rest on the words alone. The colours are chosen
// for the dark table ground (#0b121e): text at least 6:1 against it, white
// bar text at least 5:1 against the filled chunk.
enum class Outcome {
    Running,    // the table's own text colour, the blue bar
    Succeeded,  // green
    Failed,     // red
    Elsewhere,  // grey: another tool served the device, no result here
};

// The status text's colour; invalid for Running (the table's own colour).
inline QColor outcomeTextColour(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Succeeded:
        return QColor(0x4c, 0xc3, 0x8a);
    case Outcome::Failed:
        return QColor(0xff, 0x6b, 0x6b);
    case Outcome::Elsewhere:
        return QColor(0x9a, 0xa8, 0xba);
    case Outcome::Running:
        break;
    }
    return QColor();
}

// The filled part of the progress bar.
inline QColor outcomeChunkColour(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Succeeded:
        return QColor(0x1e, 0x7b, 0x46);
    case Outcome::Failed:
        return QColor(0xb0, 0x3a, 0x3a);
    case Outcome::Elsewhere:
        return QColor(0x5b, 0x67, 0x78);
    case Outcome::Running:
        break;
    }
    return QColor(0x2c, 0x7d, 0xce);
}
