// A PKCS #11 module that takes its time to start, as a reader's driver waiting for a device
// does: C_Initialize sleeps for SLOW_PKCS11_SECONDS (none when unset, so that modutil can
// register it). It has no slots.
#include <pkcs11.h>

#include <time.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

CK_RV NotSupported() {
    return CKR_FUNCTION_NOT_SUPPORTED;
}

CK_RV Initialize(CK_VOID_PTR /*arguments*/) {
    const char* seconds = std::getenv("SLOW_PKCS11_SECONDS");
    timespec left{seconds != nullptr ? std::atoi(seconds) : 0, 0};
    // Signals do not cut the wait short: a driver that hangs does not listen to them either.
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    return CKR_OK;
}

CK_RV Finalize(CK_VOID_PTR /*reserved*/) {
    return CKR_OK;
}

CK_RV GetInfo(CK_INFO_PTR info) {
    std::memset(info, ' ', sizeof *info);
    info->cryptokiVersion = {2, 20};
    info->flags = 0;
    info->libraryVersion = {1, 0};
    return CKR_OK;
}

CK_RV GetSlotList(CK_BBOOL /*tokenPresent*/, CK_SLOT_ID_PTR /*slots*/, CK_ULONG_PTR count) {
    *count = 0;
    return CKR_OK;
}

CK_FUNCTION_LIST functions;

}  // namespace

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(
    CK_FUNCTION_LIST_PTR_PTR list) {
    // Every entry answers "not supported" but the few a module's start needs.
    using Entry = CK_RV (*)();
    auto* entries = reinterpret_cast<Entry*>(&functions.C_Initialize);
    const std::size_t count =
        (sizeof functions - offsetof(CK_FUNCTION_LIST, C_Initialize)) / sizeof(Entry);
    for (std::size_t i = 0; i < count; ++i) {
        entries[i] = &NotSupported;
    }
    functions.version = {2, 20};
    functions.C_Initialize = &Initialize;
    functions.C_Finalize = &Finalize;
    functions.C_GetInfo = &GetInfo;
    functions.C_GetSlotList = &GetSlotList;
    functions.C_GetFunctionList = &C_GetFunctionList;
    *list = &functions;
    return CKR_OK;
}
