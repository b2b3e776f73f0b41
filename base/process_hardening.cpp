#include "base/process_hardening.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace mirebolt::platform {

void KeepOutOfDumps() {
    // Not dumpable: no core file, no ptrace attach or /proc/PID/mem read by the same user.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    // And, should a core pattern write cores of undumpable processes anyway, none to write.
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

}  // namespace mirebolt::platform
