// SPDX-License-Identifier: MIT
#pragma once

#include "LiveStatus.h"
#include "ServeLines.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brelvo_cli {

// Where serve's lines go: a log (text or JSON Lines, written as they come)
// or a terminal, where they are printed above a status block that is
// redrawn in place at most four times a second.
class ServeOutput {
public:
    enum class Mode { Text, Json, Live };

    // `fd` is the program's standard output; `errFd` takes the one message
    // about output that cannot be written.
    ServeOutput(int fd, int errFd, Mode mode);

    // Live when `fd` is a terminal that can move its cursor and JSON was not asked for.
    static Mode choose(int fd, bool json);

    Mode mode() const { return mode_; }
    // How lines are to be written: for a terminal also after finish().
    LineForm form() const { return form_; }
    bool json() const { return mode_ == Mode::Json; }
    bool live() const { return mode_ == Mode::Live; }

    // A line that stays. On a terminal it is printed with the next redraw.
    void line(const std::string& text);
    // Live only: the block to show; drawn when a redraw is due at `nowMs`
    // (or `force`), with the lines waiting above it.
    void status(const std::vector<std::string>& block, int64_t nowMs, bool force = false);
    // Prints what waits and takes the block away for good: later lines
    // are written as they come.
    void finish();

    // The terminal's columns and rows; 80 x 24 when it does not say.
    void terminalSize(int* columns, int* rows) const;

private:
    void write(const std::string& bytes);

    int fd_;
    int errFd_;
    Mode mode_;
    LineForm form_;
    bool failed_ = false;
    std::vector<std::string> waiting_;
    LiveStatus block_;
    int64_t lastDrawMs_ = INT64_MIN / 2;
};

} // namespace brelvo_cli
