#include "asn1/message_armour.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>

#include "asn1/base64.h"
#include "asn1/malformed.h"
#include "asn1/mime_header.h"

namespace mirebolt::platform {

namespace {

// The labels of the PEM blocks that hold a message: RFC 7468's two, and gpgsm's --armor.
constexpr std::string_view kMessageLabels[] = {"-----BEGIN PKCS7-----", "-----BEGIN CMS-----",
                                               "-----BEGIN ENCRYPTED MESSAGE-----"};

// The end of the line that starts at `from`, past its line break.
std::size_t LineEnd(std::string_view text, std::size_t from) {
    const std::size_t end = text.find('\n', from);
    return end == std::string_view::npos ? text.size() : end + 1;
}

// Whether only blanks stand between the start of the line and `at`, looking back over the
// blanks alone.
bool BeginsLine(std::string_view text, std::size_t at) {
    while (at > 0 && (text[at - 1] == ' ' || text[at - 1] == '\t' || text[at - 1] == '\r')) {
        --at;
    }
    return at == 0 || text[at - 1] == '\n';
}

// Where the first message block's opening line begins. Text before it is allowed (RFC 7468
// explanatory text) as long as the block begins a line.
std::optional<std::size_t> FirstMessageBlock(std::string_view text) {
    std::optional<std::size_t> first;
    for (std::string_view label : kMessageLabels) {
        for (std::size_t at = text.find(label);
             at != std::string_view::npos && (!first || at < *first);
             at = text.find(label, at + 1)) {
            if (BeginsLine(text, at)) {
                first = at;
                break;
            }
        }
    }
    return first;
}

bool IsPkcs7Mime(const std::string& type) {
    return type == "application/pkcs7-mime" || type == "application/x-pkcs7-mime";
}

// An S/MIME entity: its header up to an empty line, then the base64 body. Binary when the text
// has no such header or its content is not PKCS #7.
Result<ArmourKind> RecogniseSmime(std::string_view text) {
    ArmourKind kind;
    const std::optional<MimeHeader> header = ReadMimeHeader(text);
    const MimeField* contentType = header ? header->Find("content-type") : nullptr;
    if (contentType == nullptr) {
        return kind;  // not text we know: read as binary, which fails as malformed
    }
    const MimeValue type = ReadMimeValue(contentType->value);
    if (!IsPkcs7Mime(type.token)) {
        return kind;
    }
    // Without smime-type the message itself says what it is.
    if (const std::string* smimeType = type.Parameter("smime-type")) {
        std::string lower(*smimeType);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower != "enveloped-data" && lower != "authenveloped-data") {
            return Malformed(
                "The S/MIME message is not encrypted (it is signed, compressed or holds "
                "certificates only), which this program cannot read.");
        }
    }
    const MimeField* encoding = header->Find("content-transfer-encoding");
    if (encoding == nullptr || ReadMimeValue(encoding->value).token != "base64") {
        return Malformed(
            "The S/MIME message's body is not in base64, which this program cannot "
            "read.");
    }
    kind.form = MessageForm::Smime;
    kind.bodyStart = header->bodyStart;
    return kind;
}

}  // namespace

Result<ArmourKind> RecogniseArmour(std::span<const std::uint8_t> head) {
    ArmourKind kind;
    if (head.empty() || head[0] == 0x30) {
        return kind;
    }
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    if (const std::optional<std::size_t> block = FirstMessageBlock(text)) {
        kind.form = MessageForm::Pem;
        kind.bodyStart = LineEnd(text, *block);
        return kind;
    }
    return RecogniseSmime(text);
}

Result<int> Base64Stream::NextCharacter() {
    if (position_ == filled_) {
        if (ended_) {
            return -1;
        }
        ASSIGN_OR_RETURN(std::size_t got, text_.Read(buffer_));
        position_ = 0;
        filled_ = got;
        if (filled_ == 0) {
            ended_ = true;
            return -1;
        }
    }
    return buffer_[position_++];
}

Result<std::size_t> Base64Stream::Read(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        if (pendingUsed_ < pendingCount_) {
            out[done++] = pending_[pendingUsed_++];
            continue;
        }
        if (ended_ && position_ == filled_) {
            break;
        }
        ASSIGN_OR_RETURN(int c, NextCharacter());
        if (c < 0 || c == '-') {
            // The body ends: a PEM block's closing line, a boundary, or the input's end.
            ended_ = true;
            position_ = filled_;
            if (sextets_ != 0 && !padded_) {
                return Malformed();
            }
            break;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            continue;
        }
        if (c == '=') {
            if (sextets_ < 2) {
                if (!padded_ || sextets_ != 0) {
                    return Malformed();
                }
                continue;  // the second '=' of "=="
            }
            padded_ = true;
            pendingCount_ = static_cast<std::size_t>(sextets_ - 1);
            pending_[0] = static_cast<std::uint8_t>(bits_ >> (6 * sextets_ - 8));
            if (sextets_ == 3) {
                pending_[1] = static_cast<std::uint8_t>(bits_ >> (6 * sextets_ - 16));
            }
            pendingUsed_ = 0;
            bits_ = 0;
            sextets_ = 0;
            continue;
        }
        const int value = Base64DigitValue(static_cast<char>(c));
        if (value < 0 || padded_) {
            return Malformed();
        }
        bits_ = (bits_ << 6) | static_cast<std::uint32_t>(value);
        if (++sextets_ == 4) {
            pending_[0] = static_cast<std::uint8_t>(bits_ >> 16);
            pending_[1] = static_cast<std::uint8_t>(bits_ >> 8);
            pending_[2] = static_cast<std::uint8_t>(bits_);
            pendingCount_ = 3;
            pendingUsed_ = 0;
            bits_ = 0;
            sextets_ = 0;
        }
    }
    return done;
}

}  // namespace mirebolt::platform
