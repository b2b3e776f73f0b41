#include "nss/store_import.h"

#include <p12.h>
#include <pk11pub.h>
#include <secerr.h>
#include <string.h>

#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "base/system_error.h"
#include "nss/error_text.h"
#include "nss/nss_runtime.h"
#include "nss/nss_types.h"
#include "nss/personal_store.h"

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

Status LogIn(PK11SlotInfo* store, ImportPrompts& prompts) {
    if (PK11_NeedUserInit(store)) {
        std::optional<Secret> chosen = prompts.AskNewStorePassword();
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

// One attempt with one password; the failure's code tells a wrong password apart.
Status Decode(PK11SlotInfo* store, std::span<const std::uint8_t> pkcs12, const Secret& password) {
    BmpSecret bmp(password.view());
    SECItem item = bmp.item();
    UniqueDecoder decoder(
        SEC_PKCS12DecoderStart(&item, store, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!decoder) {
        return NssFailure();
    }
    // NSS reads the bytes and never writes them; its signature predates const.
    auto* bytes = const_cast<unsigned char*>(pkcs12.data());
    if (SEC_PKCS12DecoderUpdate(decoder.get(), bytes, pkcs12.size()) != SECSuccess ||
        SEC_PKCS12DecoderVerify(decoder.get()) != SECSuccess ||
        SEC_PKCS12DecoderValidateBags(decoder.get(), &NameImportedCertificate) != SECSuccess ||
        SEC_PKCS12DecoderImportBags(decoder.get()) != SECSuccess) {
        return NssFailure();
    }
    return {};
}

}  // namespace

Result<ImportOutcome> ImportPkcs12(const std::string& storeDirectory,
                                   std::span<const std::uint8_t> pkcs12, ImportPrompts& prompts) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    ImportOutcome outcome;
    outcome.storeCreated = !DatabaseIsThere(storeDirectory);
    ASSIGN_OR_RETURN(OpenedDatabase store, OpenForWriting(storeDirectory, outcome.storeCreated));
    RETURN_IF_FAILED(LogIn(store.get(), prompts));
    for (int attempt = 0;; ++attempt) {
        std::optional<Secret> answer = prompts.AskFilePassword(attempt > 0);
        if (!answer) {
            return NssFailure(SEC_ERROR_USER_CANCELLED);
        }
        const Secret password = std::move(*answer);
        Status decoded = Decode(store.get(), pkcs12, password);
        if (decoded) {
            return outcome;
        }
        if (attempt + 1 == kMaxAttempts ||
            !WrongPassword(static_cast<int>(decoded.failure().code))) {
            return decoded.failure();
        }
    }
}

}  // namespace mirebolt::platform
