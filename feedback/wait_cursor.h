#pragma once

#include <cstdint>
#include <optional>

namespace mirebolt::feedback {

// Shows that the program is busy, and stops showing it. The window sets the wait cursor; the
// command line has nothing to show.
class BusyIndicator {
  public:
    virtual ~BusyIndicator() = default;
    virtual void ShowBusy() = 0;
    virtual void ShowIdle() = 0;
    // How far the work on the input has come: `done` bytes of `total`, when its size is known.
    // Called often; the window's cursor has nothing to show for it.
    virtual void ShowProgress(std::uint64_t /*done*/, std::optional<std::uint64_t> /*total*/) {}
};

// Shows the wait cursor for as long as it lives: set once, put back exactly once, however a
// command ends.
class WaitCursor {
  public:
    explicit WaitCursor(BusyIndicator& indicator) : indicator_(indicator) { indicator_.ShowBusy(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor() { indicator_.ShowIdle(); }

  private:
    BusyIndicator& indicator_;
};

}  // namespace mirebolt::feedback
