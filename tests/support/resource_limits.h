#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

namespace mirebolt::testing {

// Lowers a resource limit until the end of the scope. Limits hold for root too, which is how
// the tests make "cannot create" and "cannot write" happen on CI, which runs as root.
class ScopedLimit {
  public:
    ScopedLimit(int resource, rlim_t soft) : resource_(resource) {
        EXPECT_EQ(::getrlimit(resource_, &previous_), 0);
        rlimit lowered = previous_;
        lowered.rlim_cur = soft;
        if (resource_ == RLIMIT_FSIZE) {
            previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a dead process
        }
        EXPECT_EQ(::setrlimit(resource_, &lowered), 0);
    }
    ScopedLimit(const ScopedLimit&) = delete;
    ScopedLimit& operator=(const ScopedLimit&) = delete;
    ~ScopedLimit() {
        ::setrlimit(resource_, &previous_);
        if (resource_ == RLIMIT_FSIZE) {
            ::signal(SIGXFSZ, previousHandler_);
        }
    }

  private:
    int resource_;
    rlimit previous_{};
    sighandler_t previousHandler_ = SIG_DFL;
};

}  // namespace mirebolt::testing
