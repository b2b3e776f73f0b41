#pragma once

#include <optional>
#include <string>

namespace mirebolt::feedback {

// Asks where to save a file: the window's Save dialog, no filter and no name given, opened in the
// folder of `besides` (the file the new one is made from). Nothing when the person cancels.
class SaveFileQuestion {
  public:
    virtual ~SaveFileQuestion() = default;
    virtual std::optional<std::string> AskSaveFileName(const std::string& besides) = 0;
};

}  // namespace mirebolt::feedback
