#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/result.h"
#include "base/secret.h"
#include "nss/personal_store.h"

namespace mirebolt::platform {

// The answers an import needs from the person, each asked only when it is needed. Nothing back
// means the person cancelled.
class ImportPrompts {
  public:
    virtual ~ImportPrompts() = default;

    // The password that protects the PKCS #12 file; `retry` after a wrong one.
    virtual std::optional<Secret> AskFilePassword(bool retry) = 0;
    // The password of a store about to be created (empty: a store without a password).
    virtual std::optional<Secret> AskNewStorePassword() = 0;
    // The password of the existing store; `retry` after a wrong one.
    virtual std::optional<Secret> AskStorePassword(bool retry) = 0;
};

struct ImportOutcome {
    bool storeCreated = false;
};

// Opens the NSS database in `storeDirectory` for writing and logs into it, creating the folder
// and the database when they are not there yet (`created` says so), after the new password was
// chosen. An existing store is logged into only when `logInToExisting`: certificates alone are
// public objects and need no password. The imports are the only operations that ever write a
// personal store.
Result<OpenedDatabase> OpenStoreForImport(const std::string& storeDirectory, ImportPrompts& prompts,
                                          bool& created, bool logInToExisting);

// Puts the certificates and private key of a PKCS #12 file into the NSS database in
// `storeDirectory`. The file is opened with its password first: the store is created or
// changed only once that was accepted. A file that asks for more password iterations than any
// needs is refused before anything else.
Result<ImportOutcome> ImportPkcs12(const std::string& storeDirectory,
                                   std::span<const std::uint8_t> pkcs12, ImportPrompts& prompts);

}  // namespace mirebolt::platform
