#pragma once

#include <deque>
#include <functional>

namespace mirebolt::ui {

// Runs the window's commands one at a time. A command's message boxes and dialogs run loops of
// their own, in which further commands (from the session bus, say) arrive: those wait until the
// running command has finished, then run in the order they came. Once the window has ended,
// nothing runs any more.
class CommandQueue {
  public:
    void Run(std::function<void()> command);

    // The window has ended: commands still waiting are dropped, later ones ignored.
    void Close();

  private:
    std::deque<std::function<void()>> waiting_;
    bool running_ = false;
    bool closed_ = false;
};

}  // namespace mirebolt::ui
