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

// Shows the wait cursor from Start until End or the end of the scope, whichever comes first:
// set once, put back exactly once, however a command ends.
class WaitCursor {
  public:
    explicit WaitCursor(BusyIndicator& indicator) : indicator_(indicator) {}
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor() { End(); }

    void Start() {
        if (!active_ && !ended_) {
            indicator_.ShowBusy();
            active_ = true;
        }
    }
    void End() {
        if (active_) {
            active_ = false;
            ended_ = true;
            indicator_.ShowIdle();
        }
    }

  private:
    BusyIndicator& indicator_;
    bool active_ = false;
    bool ended_ = false;
};

}  // namespace mirebolt::feedback
