#include "nss/certificate_file.h"

#include <cert.h>
#include <fcntl.h>
#include <secerr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string_view>

#include "asn1/base64.h"
#include "asn1/ber_cursor.h"
#include "asn1/der_writer.h"
#include "base/system_error.h"
#include "base/unique_fd.h"
#include "nss/cms_algorithms.h"
#include "nss/error_text.h"
#include "nss/nss_runtime.h"

namespace mirebolt::platform {

namespace {

// Certificate files are small; anything larger is not one, and is not read into memory.
constexpr off_t kLargestCertificateFile = 16 << 20;

Failure NotCertificates() {
    return NssFailure(SEC_ERROR_BAD_DER);
}

Result<Certificate> CertificateFromDer(std::span<const std::uint8_t> der) {
    SECItem item{siDERCertBuffer, const_cast<unsigned char*>(der.data()),
                 static_cast<unsigned>(der.size())};
    CERTCertificate* certificate =
        CERT_NewTempCertificate(CERT_GetDefaultCertDB(), &item, nullptr, PR_FALSE, PR_TRUE);
    if (certificate == nullptr) {
        return NotCertificates();
    }
    return Certificate::Adopt(certificate);
}

// ContentInfo { signedData, [0] SignedData { version, digestAlgorithms, contentInfo,
// [0] IMPLICIT certificates OPTIONAL, ... } }: the certificates, in order.
Result<std::vector<Certificate>> BundleCertificates(BerCursor contentInfo) {
    Result<BerCursor> wrapper = contentInfo.Enter(tag::kContextConstructed0);
    Result<BerCursor> fields = wrapper ? wrapper->Enter(tag::kSequence) : wrapper;
    if (!fields) {
        return NotCertificates();
    }
    for (std::uint8_t expected : {tag::kInteger, tag::kSet, tag::kSequence}) {
        if (!fields->Next(expected)) {
            return NotCertificates();
        }
    }
    std::vector<Certificate> certificates;
    if (!fields->NextIs(tag::kContextConstructed0)) {
        return certificates;
    }
    Result<BerCursor> choices = fields->Enter(tag::kContextConstructed0);
    while (choices && !choices->empty()) {
        Result<BerElement> choice = choices->Next();
        if (!choice) {
            return NotCertificates();
        }
        if (choice->tag() != tag::kSequence) {
            continue;  // attribute certificates and other kinds are not recipients
        }
        ASSIGN_OR_RETURN(Certificate certificate, CertificateFromDer(choice->whole));
        certificates.push_back(std::move(certificate));
    }
    if (!choices) {
        return NotCertificates();
    }
    return certificates;
}

Result<std::vector<Certificate>> DecodeDer(std::span<const std::uint8_t> der) {
    BerCursor whole(der);
    Result<BerCursor> children = whole.Enter(tag::kSequence);
    if (!children || !whole.empty() || children->empty()) {
        return NotCertificates();
    }
    if (children->NextIs(tag::kObjectIdentifier)) {
        Result<std::span<const std::uint8_t>> type = children->Primitive(tag::kObjectIdentifier);
        if (!type || !OidMatches(*type, oid::kSignedData)) {
            return NotCertificates();
        }
        return BundleCertificates(*children);
    }
    ASSIGN_OR_RETURN(Certificate certificate, CertificateFromDer(der));
    std::vector<Certificate> one;
    one.push_back(std::move(certificate));
    return one;
}

// The base64 bodies of the PEM blocks in the text, in order.
std::vector<std::vector<std::uint8_t>> PemBlocks(std::string_view text) {
    std::vector<std::vector<std::uint8_t>> blocks;
    constexpr std::string_view kBegin = "-----BEGIN ";
    constexpr std::string_view kEnd = "-----END ";
    std::size_t position = 0;
    while ((position = text.find(kBegin, position)) != std::string_view::npos) {
        const std::size_t labelEnd = text.find("-----", position + kBegin.size());
        if (labelEnd == std::string_view::npos) {
            break;
        }
        const std::string_view label =
            text.substr(position + kBegin.size(), labelEnd - position - kBegin.size());
        const std::size_t bodyStart = labelEnd + 5;
        const std::string closing = std::string(kEnd) + std::string(label) + "-----";
        const std::size_t bodyEnd = text.find(closing, bodyStart);
        if (bodyEnd == std::string_view::npos) {
            break;
        }
        if (std::optional<std::vector<std::uint8_t>> der =
                DecodeBase64(text.substr(bodyStart, bodyEnd - bodyStart))) {
            blocks.push_back(std::move(*der));
        }
        position = bodyEnd + closing.size();
    }
    return blocks;
}

}  // namespace

Result<std::vector<Certificate>> DecodeCertificates(std::span<const std::uint8_t> bytes) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.find("-----BEGIN ") == std::string_view::npos) {
        return DecodeDer(bytes);
    }
    // Blocks that hold no certificates, such as private keys, are passed over.
    bool anyDecoded = false;
    std::vector<Certificate> certificates;
    for (const std::vector<std::uint8_t>& block : PemBlocks(text)) {
        Result<std::vector<Certificate>> decoded = DecodeDer(block);
        if (!decoded) {
            continue;
        }
        anyDecoded = true;
        for (Certificate& certificate : *decoded) {
            certificates.push_back(std::move(certificate));
        }
    }
    if (!anyDecoded) {
        return NotCertificates();
    }
    return certificates;
}

Result<std::vector<Certificate>> ReadCertificateFile(const std::string& path) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file) {
        return SystemFailure(errno);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return SystemFailure(errno);
    }
    if (!S_ISREG(info.st_mode) || info.st_size > kLargestCertificateFile) {
        return NotCertificates();
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            ::pread(file.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return SystemFailure(errno);
        }
        if (got == 0) {
            bytes.resize(done);  // the file shrank meanwhile: decode what is there
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return DecodeCertificates(bytes);
}

}  // namespace mirebolt::platform
