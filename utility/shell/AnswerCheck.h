#pragma once

#include "utility/shell/CommLink.h"

#include <QString>

// The last step of a transfer that sends without reading (a restore, a firmware download): before
// it is reported as done, the controller must answer a query it always answers. A line that went
// silent, a controller still taking an image that was cut short, or a link that fell to demo mode
// (where every send reports success) fails here, so no transfer claims what did not happen.
class AnswerCheck {
public:
    // The query every controller answers: its identification.
    static constexpr const char* Query = "VE?";
    // A reply that was lost once is asked for once more.
    static constexpr int Attempts = 2;

    // True when the controller, on the bus the transfer started on, answered the query within the
    // link's reply limit; otherwise false, with what was heard (a sentence) in *why.
    static bool controllerAnswers(CommLink comm, int bus, QString* why);
};
