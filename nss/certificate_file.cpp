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

// Certificates in file order, up to the most one file may give; those beyond are only counted,
// never handed to NSS.
struct Taken {
    std::vector<Certificate> certificates;
    std::size_t skipped = 0;
};

// Certificate ::= SEQUENCE { tbsCertificate SEQUENCE, signatureAlgorithm SEQUENCE,
// signatureValue BIT STRING }: the shape by which one beyond the limit is counted.
bool LooksLikeCertificate(std::span<const std::uint8_t> der) {
    BerCursor whole(der);
    Result<BerCursor> fields = whole.Enter(tag::kSequence);
    return fields && whole.empty() && fields->Next(tag::kSequence) &&
           fields->Next(tag::kSequence) && fields->Next(tag::kBitString) && fields->empty();
}

// ContentInfo { signedData, [0] SignedData { version, digestAlgorithms, contentInfo,
// [0] IMPLICIT certificates OPTIONAL, ... } }: the certificates, in order, at most `room`.
Result<Taken> BundleCertificates(BerCursor contentInfo, std::size_t room) {
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
    Taken taken;
    if (!fields->NextIs(tag::kContextConstructed0)) {
        return taken;
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
        if (taken.certificates.size() == room) {
            ++taken.skipped;
            continue;
        }
        ASSIGN_OR_RETURN(Certificate certificate, CertificateFromDer(choice->whole));
        taken.certificates.push_back(std::move(certificate));
    }
    if (!choices) {
        return NotCertificates();
    }
    return taken;
}

// Whether the bytes are one SEQUENCE and nothing else: DER, whatever text its bytes may hold.
bool IsOneSequence(std::span<const std::uint8_t> der) {
    BerCursor whole(der);
    return whole.Enter(tag::kSequence) && whole.empty();
}

Result<Taken> DecodeDer(std::span<const std::uint8_t> der, std::size_t room) {
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
        return BundleCertificates(*children, room);
    }
    Taken taken;
    if (room == 0) {
        if (!LooksLikeCertificate(der)) {
            return NotCertificates();
        }
        taken.skipped = 1;
        return taken;
    }
    ASSIGN_OR_RETURN(Certificate certificate, CertificateFromDer(der));
    taken.certificates.push_back(std::move(certificate));
    return taken;
}

constexpr std::string_view kBegin = "-----BEGIN ";

// Whether only blanks stand between the start of the line and `at`. Looks back over the blanks
// alone, so that many candidates on one long line cost no more than the line.
bool BeginsLine(std::string_view text, std::size_t at) {
    while (at > 0 && (text[at - 1] == ' ' || text[at - 1] == '\t')) {
        --at;
    }
    return at == 0 || text[at - 1] == '\n';
}

// Where the next "-----BEGIN " that begins a line (after blanks, if any) starts, from `from`.
std::size_t NextBeginLine(std::string_view text, std::size_t from) {
    std::size_t at = text.find(kBegin, from);
    while (at != std::string_view::npos && !BeginsLine(text, at)) {
        at = text.find(kBegin, at + 1);
    }
    return at;
}

// The base64 bodies of the PEM blocks in the text, in order. Text around them is passed over.
std::vector<std::vector<std::uint8_t>> PemBlocks(std::string_view text) {
    std::vector<std::vector<std::uint8_t>> blocks;
    constexpr std::string_view kEnd = "-----END ";
    std::size_t position = 0;
    while ((position = NextBeginLine(text, position)) != std::string_view::npos) {
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

Result<Taken> DecodeWithLimit(std::span<const std::uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // PEM only where a line begins a block, and never bytes that are DER as a whole: a
    // certificate's names may hold any text, "-----BEGIN " included.
    if (IsOneSequence(bytes) || NextBeginLine(text, 0) == std::string_view::npos) {
        return DecodeDer(bytes, kMostCertificatesPerFile);
    }
    // Blocks that hold no certificates, such as private keys, are passed over.
    bool anyDecoded = false;
    Taken taken;
    for (const std::vector<std::uint8_t>& block : PemBlocks(text)) {
        Result<Taken> decoded =
            DecodeDer(block, kMostCertificatesPerFile - taken.certificates.size());
        if (!decoded) {
            continue;
        }
        anyDecoded = true;
        for (Certificate& certificate : decoded->certificates) {
            taken.certificates.push_back(std::move(certificate));
        }
        taken.skipped += decoded->skipped;
    }
    if (!anyDecoded) {
        return NotCertificates();
    }
    return taken;
}

}  // namespace

Result<std::vector<Certificate>> DecodeCertificates(std::span<const std::uint8_t> bytes,
                                                    std::size_t* skipped) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    ASSIGN_OR_RETURN(Taken taken, DecodeWithLimit(bytes));
    if (skipped != nullptr) {
        *skipped = taken.skipped;
    }
    return std::move(taken.certificates);
}

std::string SkippedCertificatesWarning(std::size_t skipped) {
    return "The file holds more than " + std::to_string(kMostCertificatesPerFile) +
           " certificates: the first " + std::to_string(kMostCertificatesPerFile) +
           " were taken and " + std::to_string(skipped) + " more were skipped";
}

Result<std::vector<Certificate>> ReadCertificateFile(const std::string& path,
                                                     std::size_t* skipped) {
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
    return DecodeCertificates(bytes, skipped);
}

}  // namespace mirebolt::platform
