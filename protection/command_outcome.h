#pragma once

namespace mirebolt::protection {

// How a command ended, for callers that report it on (the command line's exit status).
enum class CommandOutcome {
    Succeeded,
    Failed,    // a warning or an error report was shown
    Declined,  // the person answered No or cancelled: nothing was shown
};

}  // namespace mirebolt::protection
