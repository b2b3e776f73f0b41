#include "asn1/message_armour.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "asn1/base64.h"
#include "asn1/malformed.h"

namespace mirebolt::platform {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// The end of the line that starts at `from`, past its line break.
std::size_t LineEnd(std::string_view text, std::size_t from) {
    const std::size_t end = text.find('\n', from);
    return end == std::string_view::npos ? text.size() : end + 1;
}

}  // namespace

Result<ArmourKind> RecogniseArmour(std::span<const std::uint8_t> head) {
    ArmourKind kind;
    if (head.empty() || head[0] == 0x30) {
        return kind;
    }
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    for (std::string_view label : {"-----BEGIN PKCS7-----", "-----BEGIN CMS-----"}) {
        const std::size_t begin = text.find(label);
        if (begin != std::string_view::npos &&
            text.substr(0, begin).find_first_not_of(" \t\r\n") == std::string_view::npos) {
            kind.form = MessageForm::Pem;
            kind.bodyStart = LineEnd(text, begin);
            return kind;
        }
    }
    // An S/MIME entity: headers up to an empty line, then the base64 body.
    std::size_t headersEnd = std::string_view::npos;
    std::size_t bodyStart = 0;
    for (std::string_view separator : {"\r\n\r\n", "\n\n"}) {
        const std::size_t at = text.find(separator);
        if (at != std::string_view::npos && at < headersEnd) {
            headersEnd = at;
            bodyStart = at + separator.size();
        }
    }
    if (headersEnd == std::string_view::npos) {
        return kind;  // not text we know: read as binary, which fails as malformed
    }
    const std::string headers = Lower(text.substr(0, headersEnd));
    const bool mime = headers.find("content-type:") != std::string::npos &&
                      (headers.find("application/pkcs7-mime") != std::string::npos ||
                       headers.find("application/x-pkcs7-mime") != std::string::npos);
    if (!mime) {
        return kind;
    }
    if (headers.find("content-transfer-encoding: base64") == std::string::npos) {
        return Malformed(
            "The S/MIME message's body is not in base64, which this program cannot "
            "read.");
    }
    kind.form = MessageForm::Smime;
    kind.bodyStart = bodyStart;
    return kind;
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
