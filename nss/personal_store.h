#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "nss/certificate.h"
#include "nss/registered_modules.h"

struct PK11SlotInfoStr;

namespace mirebolt::platform {

// Closes an NSS database that was opened as a token of its own and gives its slot back.
struct OpenedDatabaseRelease {
    void operator()(PK11SlotInfoStr* slot) const;
};
using OpenedDatabase = std::unique_ptr<PK11SlotInfoStr, OpenedDatabaseRelease>;

// Whether `directory` holds an NSS database at all: a folder without one is no broken database.
bool DatabaseIsThere(const std::string& directory);

// Opens the NSS database in `directory` as the personal store's token of its own; one that opens
// but cannot be used fails.
Result<OpenedDatabase> OpenDatabase(const std::string& directory, bool readOnly);

// A certificate of the personal store as the picker shows it.
struct StoreCertificate {
    Certificate certificate;
    bool ownKey = false;    // the user holds its private key, in the database or on the card
    std::string tokenName;  // the smart card or token that holds it; empty for the database
};

// The user's personal certificate store: an NSS database opened read-only as a token of its own,
// with the smart cards and tokens whose modules it registers, and closed again when the store is
// destroyed. Nothing is ever written to it. A folder without a database is an empty store; a
// database that exists but cannot be used fails to open; a module that cannot be loaded only
// leaves its certificates out.
class PersonalStore {
  public:
    // The desktop's shared NSS database: $HOME/.pki/nssdb.
    static std::string DefaultDirectory();

    // Opens the store in `directory`; a folder without one is an empty store. Its failures are
    // the store's.
    static Result<PersonalStore> Open(const std::string& directory);

    PersonalStore(PersonalStore&& other) noexcept;
    PersonalStore& operator=(PersonalStore&& other) noexcept;
    PersonalStore(const PersonalStore&) = delete;
    PersonalStore& operator=(const PersonalStore&) = delete;
    ~PersonalStore();

    bool hasDatabase() const { return database_ != nullptr; }

    // Every certificate that is not a certificate authority's, the user's own first, then by
    // name. Asks for no password: whether a private key is there is known without one.
    std::vector<StoreCertificate> PickerCertificates() const;

    // The modules the database registers that could not be loaded.
    const std::vector<UnloadedModule>& unloadedModules() const { return modules_.unloaded(); }

  private:
    PersonalStore(OpenedDatabase database, RegisteredModules modules)
        : database_(std::move(database)), modules_(std::move(modules)) {}

    // The tokens' modules go before the database, as NSS wants them unloaded in that order:
    // members go in the reverse of the order they stand in.
    OpenedDatabase database_;
    RegisteredModules modules_;
};

}  // namespace mirebolt::platform
