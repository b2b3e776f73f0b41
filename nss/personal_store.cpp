#include "nss/personal_store.h"

#include <pk11pub.h>
#include <pwd.h>
#include <secerr.h>
#include <secmod.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "base/system_error.h"
#include "nss/error_text.h"
#include "nss/nss_runtime.h"
#include "nss/nss_types.h"
#include "nss/own_keys.h"

namespace mirebolt::platform {

namespace {

constexpr char kTokenName[] = "Personal certificate store";

bool FileIsThere(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// The files NSS and its database engine open in the store's folder. Each must be a regular file
// where it is there at all: opening a pipe waits for a writer forever, a device may never end.
bool StoreFilesAreRegular(const std::string& directory) {
    for (const char* name :
         {"cert9.db", "cert9.db-journal", "cert9.db-wal", "cert9.db-shm", "key4.db",
          "key4.db-journal", "key4.db-wal", "key4.db-shm", "pkcs11.txt"}) {
        struct stat info {};
        if (::stat((directory + "/" + name).c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            return false;
        }
    }
    return true;
}

// Adds the slot's certificates that are not a certificate authority's. A certificate that is both
// in the database and on a token is listed once, with its key's token.
void AddSlotCertificates(PK11SlotInfo* slot, const std::string& tokenName,
                         std::vector<StoreCertificate>& listed) {
    UniqueCertList all(PK11_ListCertsInSlot(slot));
    if (!all) {
        return;
    }
    for (CERTCertListNode* node = CERT_LIST_HEAD(all.get()); !CERT_LIST_END(node, all.get());
         node = CERT_LIST_NEXT(node)) {
        if (CERT_IsCACert(node->cert, nullptr)) {
            continue;
        }
        const bool ownKey = HeldByUser(node->cert);
        auto same = std::find_if(listed.begin(), listed.end(), [&](const StoreCertificate& entry) {
            return SECITEM_ItemsAreEqual(&entry.certificate.get()->derCert, &node->cert->derCert);
        });
        if (same == listed.end()) {
            listed.push_back(StoreCertificate{Certificate::Share(node->cert), ownKey, tokenName});
        } else if (ownKey && !tokenName.empty()) {
            same->ownKey = true;
            same->tokenName = tokenName;
        }
    }
}

}  // namespace

void OpenedDatabaseRelease::operator()(PK11SlotInfo* slot) const {
    SECMOD_CloseUserDB(slot);
    PK11_FreeSlot(slot);
}

bool DatabaseIsThere(const std::string& directory) {
    return FileIsThere(directory + "/cert9.db") || FileIsThere(directory + "/key4.db");
}

Result<OpenedDatabase> OpenDatabase(const std::string& directory, bool readOnly) {
    const std::string parameters = "configdir=" + QuotedParameter("sql:" + directory) +
                                   " tokenDescription='" + kTokenName + "'" +
                                   (readOnly ? " flags=readOnly" : "");
    OpenedDatabase database(SECMOD_OpenUserDB(parameters.c_str()));
    if (!database) {
        return NssFailure();
    }
    if (!PK11_IsPresent(database.get())) {
        const int error = PORT_GetError();
        return NssFailure(error != 0 ? error : SEC_ERROR_BAD_DATABASE);
    }
    return database;
}

std::string PersonalStore::DefaultDirectory() {
    const char* home = std::getenv("HOME");
    std::string base = home != nullptr ? home : "";
    if (base.empty()) {
        if (const passwd* entry = getpwuid(getuid());
            entry != nullptr && entry->pw_dir != nullptr) {
            base = entry->pw_dir;
        }
    }
    return base + "/.pki/nssdb";
}

Result<PersonalStore> PersonalStore::Open(const std::string& directory) {
    if (!NssRuntime::EnsureStarted()) {
        return ArisingFrom(FailureOrigin::Store, NssFailure(SEC_ERROR_NOT_INITIALIZED));
    }
    // A file, a device or a pipe named as the store is no store at all, not an empty one.
    if (struct stat info{}; ::stat(directory.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
        return ArisingFrom(FailureOrigin::Store, SystemFailure(ENOTDIR));
    }
    // NSS says "bad database" alike for a missing and a broken one; only a missing one is the
    // empty store of a user who never kept certificates.
    if (!DatabaseIsThere(directory)) {
        return PersonalStore(OpenedDatabase(), RegisteredModules());
    }
    if (!StoreFilesAreRegular(directory)) {
        return ArisingFrom(FailureOrigin::Store, NssFailure(SEC_ERROR_BAD_DATABASE));
    }
    Result<OpenedDatabase> database = OpenDatabase(directory, true);
    if (!database) {
        return ArisingFrom(FailureOrigin::Store, database.failure());
    }
    return PersonalStore(std::move(*database), RegisteredModules::Load(directory));
}

PersonalStore::PersonalStore(PersonalStore&& other) noexcept = default;

PersonalStore& PersonalStore::operator=(PersonalStore&& other) noexcept {
    if (this != &other) {
        // The modules first, so that ours are unloaded before our database closes.
        modules_ = std::move(other.modules_);
        database_ = std::move(other.database_);
    }
    return *this;
}

PersonalStore::~PersonalStore() = default;

std::vector<StoreCertificate> PersonalStore::PickerCertificates() const {
    std::vector<StoreCertificate> listed;
    if (!database_) {
        return listed;
    }
    AddSlotCertificates(database_.get(), "", listed);
    modules_.ForEachTokenSlot([&listed](PK11SlotInfo* slot) {
        AddSlotCertificates(slot, PK11_GetTokenName(slot), listed);
    });
    std::stable_sort(
        listed.begin(), listed.end(), [](const StoreCertificate& a, const StoreCertificate& b) {
            if (a.ownKey != b.ownKey) {
                return a.ownKey;
            }
            return SubjectDisplayName(a.certificate) < SubjectDisplayName(b.certificate);
        });
    return listed;
}

}  // namespace mirebolt::platform
