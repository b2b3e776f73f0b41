#include "platform/personal_store.h"

#include <pk11pub.h>
#include <pwd.h>
#include <secerr.h>
#include <secmod.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "platform/error_text.h"
#include "platform/nss_runtime.h"
#include "platform/nss_types.h"

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

// The folder goes into NSS's module parameters between single quotes, where a backslash
// escapes the next character.
std::string QuotedParameter(const std::string& value) {
    std::string quoted = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "'";
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
        const bool ownKey = CERT_IsUserCert(node->cert) != 0;
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

std::string StoreModuleSpec(const std::string& directory, bool readOnly) {
    return "configdir=" + QuotedParameter("sql:" + directory) + " tokenDescription='" + kTokenName +
           "'" + (readOnly ? " flags=readOnly" : "");
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
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    // NSS says "bad database" alike for a missing and a broken one; only a missing one is the
    // empty store of a user who never kept certificates.
    if (!FileIsThere(directory + "/cert9.db") && !FileIsThere(directory + "/key4.db")) {
        return PersonalStore(nullptr, RegisteredModules());
    }
    if (!StoreFilesAreRegular(directory)) {
        return NssFailure(SEC_ERROR_BAD_DATABASE);
    }
    PK11SlotInfo* slot = SECMOD_OpenUserDB(StoreModuleSpec(directory, true).c_str());
    if (slot == nullptr) {
        return NssFailure();
    }
    if (!PK11_IsPresent(slot)) {
        const int error = PORT_GetError();
        SECMOD_CloseUserDB(slot);
        PK11_FreeSlot(slot);
        return NssFailure(error != 0 ? error : SEC_ERROR_BAD_DATABASE);
    }
    return PersonalStore(slot, RegisteredModules::Load(directory));
}

PersonalStore::PersonalStore(PersonalStore&& other) noexcept
    : slot_(std::exchange(other.slot_, nullptr)), modules_(std::move(other.modules_)) {}

PersonalStore& PersonalStore::operator=(PersonalStore&& other) noexcept {
    if (this != &other) {
        Close();
        slot_ = std::exchange(other.slot_, nullptr);
        modules_ = std::move(other.modules_);
    }
    return *this;
}

PersonalStore::~PersonalStore() {
    Close();
}

void PersonalStore::Close() {
    // The tokens' modules go before the database, as NSS wants them unloaded in that order.
    modules_ = RegisteredModules();
    if (slot_ != nullptr) {
        PK11SlotInfo* slot = std::exchange(slot_, nullptr);
        SECMOD_CloseUserDB(slot);
        PK11_FreeSlot(slot);
    }
}

std::vector<StoreCertificate> PersonalStore::PickerCertificates() const {
    std::vector<StoreCertificate> listed;
    if (slot_ == nullptr) {
        return listed;
    }
    AddSlotCertificates(slot_, "", listed);
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
