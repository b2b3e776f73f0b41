#include "nss/store_import.h"

#include <p12.h>
#include <pk11pub.h>
#include <secerr.h>
#include <string.h>
#include <sys/stat.h>

#include <cerrno>

#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "base/system_error.h"
#include "nss/error_text.h"
#include "nss/nss_runtime.h"
#include "nss/nss_types.h"
#include "nss/personal_store.h"
#include "nss/pkcs12_iterations.h"

namespace mirebolt::platform {

namespace {

constexpr int kMaxAttempts = 3;

struct DecoderRelease {
    void operator()(SEC_PKCS12DecoderContext* decoder) const { SEC_PKCS12DecoderFinish(decoder); }
};
using UniqueDecoder = std::unique_ptr<SEC_PKCS12DecoderContext, DecoderRelease>;

// PKCS #12 passwords are BMPStrings: UTF-16 big-endian with two zero bytes at the end.
std::vector<std::uint8_t> BmpPassword(std::string_view utf8) {
    std::vector<std::uint8_t> bmp;
    bmp.reserve(2 * utf8.size() + 2);  // no copy of the password left behind by growing
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::uint32_t code = lead;
        std::size_t length = 1;
        if (lead >= 0xF0) {
            code = lead & 0x07u;
            length = 4;
        } else if (lead >= 0xE0) {
            code = lead & 0x0Fu;
            length = 3;
        } else if (lead >= 0xC0) {
            code = lead & 0x1Fu;
            length = 2;
        }
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        }
        i += length;
        auto put = [&bmp](std::uint32_t unit) {
            bmp.push_back(static_cast<std::uint8_t>(unit >> 8));
            bmp.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        };
        if (code >= 0x10000) {
            code -= 0x10000;
            put(0xD800 + (code >> 10));
            put(0xDC00 + (code & 0x3FF));
        } else {
            put(code);
        }
    }
    bmp.push_back(0);
    bmp.push_back(0);
    return bmp;
}

// Names each imported certificate that came without a name, and renames one whose name is
// taken, as NSS's own tools do.
SECItem* NameImportedCertificate(SECItem* oldName, PRBool* cancel, void* context) {
    auto* certificate = static_cast<CERTCertificate*>(context);
    *cancel = PR_FALSE;
    if (certificate == nullptr) {
        *cancel = PR_TRUE;
        return nullptr;
    }
    const UniquePortString name(CERT_MakeCANickname(certificate));
    if (!name) {
        *cancel = PR_TRUE;
        return nullptr;
    }
    const std::size_t length = strlen(name.get());
    SECItem* item = nullptr;
    const bool unchanged = oldName != nullptr && oldName->len == length &&
                           memcmp(oldName->data, name.get(), length) == 0;
    if (!unchanged) {
        item = SECITEM_AllocItem(nullptr, nullptr, static_cast<unsigned>(length));
        if (item != nullptr) {
            memcpy(item->data, name.get(), length);
        }
    }
    return item;
}

Result<OpenedDatabase> OpenForWriting(const std::string& directory, bool creating) {
    if (creating) {
        std::error_code error;
        const bool made = std::filesystem::create_directories(directory, error);
        if (error) {
            return SystemFailure(error.value());
        }
        // A folder made for a new key store is the user's alone; one that was there already
        // (a home folder given as the store, say) keeps the rights its owner gave it.
        if (made) {
            std::filesystem::permissions(directory, std::filesystem::perms::owner_all, error);
        }
    }
    return OpenDatabase(directory, false);
}

Status LogIn(PK11SlotInfo* store, ImportPrompts& prompts, std::optional<Secret>& newPassword) {
    if (PK11_NeedUserInit(store)) {
        std::optional<Secret> chosen =
            newPassword ? std::move(newPassword) : prompts.AskNewStorePassword();
        if (!chosen) {
            return NssFailure(SEC_ERROR_USER_CANCELLED);
        }
        const Secret password = std::move(*chosen);
        if (PK11_InitPin(store, nullptr, password.c_str()) != SECSuccess) {
            return NssFailure();
        }
        if (PK11_NeedLogin(store) && !PK11_IsLoggedIn(store, nullptr) &&
            PK11_CheckUserPassword(store, password.c_str()) != SECSuccess) {
            return NssFailure();
        }
        return {};
    }
    for (int attempt = 0; PK11_NeedLogin(store) && !PK11_IsLoggedIn(store, nullptr); ++attempt) {
        if (attempt == kMaxAttempts) {
            return NssFailure(SEC_ERROR_BAD_PASSWORD);
        }
        std::optional<Secret> answer = prompts.AskStorePassword(attempt > 0);
        if (!answer) {
            return NssFailure(SEC_ERROR_USER_CANCELLED);
        }
        const Secret password = std::move(*answer);
        if (PK11_CheckUserPassword(store, password.c_str()) != SECSuccess &&
            PORT_GetError() != SEC_ERROR_BAD_PASSWORD) {
            return NssFailure();
        }
    }
    return {};
}

bool WrongPassword(int error) {
    return error == SEC_ERROR_BAD_PASSWORD || error == SEC_ERROR_PKCS12_INVALID_MAC ||
           error == SEC_ERROR_BAD_DER;
}

// The password as the decoder wants it, wiped when it goes; the decoder reads it until it is
// finished, so it must outlive the decoder.
class BmpSecret {
  public:
    explicit BmpSecret(std::string_view utf8) : bytes_(BmpPassword(utf8)) {}
    BmpSecret(const BmpSecret&) = delete;
    BmpSecret& operator=(const BmpSecret&) = delete;
    ~BmpSecret() { explicit_bzero(bytes_.data(), bytes_.size()); }
    SECItem item() {
        return SECItem{siBuffer, bytes_.data(), static_cast<unsigned>(bytes_.size())};
    }

  private:
    std::vector<std::uint8_t> bytes_;
};

// One pass of the decoder with one password: with `import`, the bags go into the store; without,
// only the MAC and the bags are checked, in the internal slot that keeps nothing. The failure's
// code tells a wrong password apart.
Status Decode(PK11SlotInfo* slot, std::span<const std::uint8_t> pkcs12, const Secret& password,
              bool import) {
    BmpSecret bmp(password.view());
    SECItem item = bmp.item();
    UniqueDecoder decoder(
        SEC_PKCS12DecoderStart(&item, slot, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!decoder) {
        return NssFailure();
    }
    // NSS reads the bytes and never writes them; its signature predates const.
    auto* bytes = const_cast<unsigned char*>(pkcs12.data());
    if (SEC_PKCS12DecoderUpdate(decoder.get(), bytes, pkcs12.size()) != SECSuccess ||
        SEC_PKCS12DecoderVerify(decoder.get()) != SECSuccess) {
        return NssFailure();
    }
    if (import &&
        (SEC_PKCS12DecoderValidateBags(decoder.get(), &NameImportedCertificate) != SECSuccess ||
         SEC_PKCS12DecoderImportBags(decoder.get()) != SECSuccess)) {
        return NssFailure();
    }
    return {};
}

// The file's password, asked until the file opens with it: before any store is touched, so that
// a cancelled or wrong answer leaves everything as it was.
Result<Secret> AcceptedFilePassword(std::span<const std::uint8_t> pkcs12, ImportPrompts& prompts) {
    const UniqueSlot internal(PK11_GetInternalSlot());
    if (!internal) {
        return NssFailure();
    }
    for (int attempt = 0;; ++attempt) {
        std::optional<Secret> answer = prompts.AskFilePassword(attempt > 0);
        if (!answer) {
            return NssFailure(SEC_ERROR_USER_CANCELLED);
        }
        Secret password = std::move(*answer);
        Status decoded = Decode(internal.get(), pkcs12, password, false);
        if (decoded) {
            return password;
        }
        if (attempt + 1 == kMaxAttempts ||
            !WrongPassword(static_cast<int>(decoded.failure().code))) {
            return decoded.failure();
        }
    }
}

}  // namespace

Result<OpenedDatabase> OpenStoreForImport(const std::string& storeDirectory, ImportPrompts& prompts,
                                          bool& created, bool logInToExisting) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    if (struct stat info{}; ::stat(storeDirectory.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
        return SystemFailure(ENOTDIR);
    }
    created = !DatabaseIsThere(storeDirectory);
    // A new store's password is chosen before anything is created: a cancelled question leaves
    // no empty store behind.
    std::optional<Secret> newPassword;
    if (created) {
        newPassword = prompts.AskNewStorePassword();
        if (!newPassword) {
            return NssFailure(SEC_ERROR_USER_CANCELLED);
        }
    }
    Result<OpenedDatabase> store = OpenForWriting(storeDirectory, created);
    if (!store) {
        return store.failure();
    }
    if (!created && !logInToExisting) {
        return store;
    }
    if (Status loggedIn = LogIn(store->get(), prompts, newPassword); !loggedIn) {
        return loggedIn.failure();
    }
    return store;
}

Result<ImportOutcome> ImportPkcs12(const std::string& storeDirectory,
                                   std::span<const std::uint8_t> pkcs12, ImportPrompts& prompts) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    if (const std::uint64_t iterations = LargestPkcs12IterationCount(pkcs12);
        iterations > kMaxPkcs12Iterations) {
        return Failure{static_cast<std::uint32_t>(SEC_ERROR_BAD_DER),
                       "the file asks for " + std::to_string(iterations) +
                           " iterations of its password, far more than any PKCS #12 file needs "
                           "(at most " +
                           std::to_string(kMaxPkcs12Iterations) +
                           " are taken): it would keep the import busy for minutes or hours"};
    }
    Result<Secret> password = AcceptedFilePassword(pkcs12, prompts);
    if (!password) {
        return password.failure();
    }
    ImportOutcome outcome;
    Result<OpenedDatabase> store =
        OpenStoreForImport(storeDirectory, prompts, outcome.storeCreated, true);
    if (!store) {
        return store.failure();
    }
    if (Status imported = Decode(store->get(), pkcs12, *password, true); !imported) {
        return imported.failure();
    }
    return outcome;
}

}  // namespace mirebolt::platform
