#pragma once

namespace mirebolt::feedback {

// Shows that the program is busy, and stops showing it. The window sets the wait cursor; the
// command line has nothing to show.
class BusyIndicator {
  public:
    virtual ~BusyIndicator() = default;
    virtual void ShowBusy() = 0;
    virtual void ShowIdle() = 0;
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
