#pragma once

#include <optional>
#include <string>

namespace mirebolt::feedback {

// Asks where to save a file: the window's Save dialog (no filter, folder or name given). Nothing
// when the person cancels.
class SaveFileQuestion {
  public:
    virtual ~SaveFileQuestion() = default;
    virtual std::optional<std::string> AskSaveFileName() = 0;
};

}  // namespace mirebolt::feedback
