#include "nss/nss_runtime.h"

#include <nss.h>
#include <pk11pub.h>

#include "nss/key_access_nss.h"

namespace mirebolt::platform {

namespace {

enum class RuntimeState { NotStarted, Running, Failed, Ended };
RuntimeState state = RuntimeState::NotStarted;

}  // namespace

bool NssRuntime::EnsureStarted() {
    if (state == RuntimeState::NotStarted) {
        if (NSS_NoDB_Init(nullptr) == SECSuccess) {
            // Every key access is answered by the prompt that the caller hands over with the
            // operation; calls that hand over none never prompt.
            PK11_SetPasswordFunc(&AnswerKeyAccess);
            state = RuntimeState::Running;
        } else {
            state = RuntimeState::Failed;
        }
    }
    return state == RuntimeState::Running;
}

bool NssRuntime::Shutdown() {
    if (state != RuntimeState::Running) {
        return state != RuntimeState::Failed;
    }
    state = RuntimeState::Ended;
    return NSS_Shutdown() == SECSuccess;
}

}  // namespace mirebolt::platform
