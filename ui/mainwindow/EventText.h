// SPDX-License-Identifier: MIT
#pragma once

#include "record/Event.h"

#include <QCoreApplication>
#include <QString>

#include <string>

// The window's log line of an engine event, in the language of the catalogue
// installed in the application (context "EventText", keys "Log.*"). The
// engine's English lines (record/EventFormat.h) are the reference for what
// each line says. Anything the engine took from the network or the disk
// (product codes, paths, details) goes through displayText first, so a line
// obeys no control character, direction override or malformed byte it
// carries. Details the engine writes are English and are shown as they are.
class EventText
{
    Q_DECLARE_TR_FUNCTIONS(EventText)

public:
    // One line without a time stamp or line end.
    static QString line(const brelvo::Event& event);

    // A status code's catalogue key in the window's context "Brelvo" (record/JobStatus.h).
    static const char* statusKey(int code);
    // That key translated.
    static QString statusText(int code);

    // Bytes from outside, escaped for showing (see record/TextSafety.h).
    static QString safe(const std::string& bytes);
    // Dotted text of a network-order address.
    static QString address(uint32_t networkOrder);
    // "aa:bb:cc:dd:ee:ff"; empty for 0.
    static QString mac(uint64_t mac);

private:
    static QString jobPrefix(const brelvo::Event& event);
    static QString requestPrefix(const brelvo::Event& event);
    static QString sweep(const brelvo::Event& event);
    static QString detailSuffix(const brelvo::Event& event);
};
