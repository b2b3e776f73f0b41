#include "protection/pem_sink.h"

namespace mirebolt::protection {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineLength = 64;

}  // namespace

Status PemSink::Emit(std::string& text) {
    Status written =
        inner_.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    text.clear();
    return written;
}

Status PemSink::Write(std::span<const std::uint8_t> bytes) {
    std::string text;
    if (!begun_) {
        text = "-----BEGIN " + label_ + "-----\n";
        begun_ = true;
    }
    for (std::uint8_t byte : bytes) {
        pending_[pendingCount_++] = byte;
        if (pendingCount_ < 3) {
            continue;
        }
        const std::uint32_t group = (static_cast<std::uint32_t>(pending_[0]) << 16) |
                                    (static_cast<std::uint32_t>(pending_[1]) << 8) | pending_[2];
        for (int shift = 18; shift >= 0; shift -= 6) {
            text += kAlphabet[(group >> shift) & 0x3F];
        }
        pendingCount_ = 0;
        lineLength_ += 4;
        if (lineLength_ == kLineLength) {
            text += '\n';
            lineLength_ = 0;
        }
        if (text.size() >= 64 * 1024) {
            if (Status written = Emit(text); !written) {
                return written;
            }
        }
    }
    return text.empty() ? Status() : Emit(text);
}

Status PemSink::Finish() {
    std::string text = begun_ ? "" : "-----BEGIN " + label_ + "-----\n";
    if (pendingCount_ > 0) {
        std::uint32_t group = static_cast<std::uint32_t>(pending_[0]) << 16;
        if (pendingCount_ == 2) {
            group |= static_cast<std::uint32_t>(pending_[1]) << 8;
        }
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += pendingCount_ == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        text += '=';
        lineLength_ += 4;
        pendingCount_ = 0;
    }
    if (lineLength_ > 0) {
        text += '\n';
        lineLength_ = 0;
    }
    text += "-----END " + label_ + "-----\n";
    return Emit(text);
}

}  // namespace mirebolt::protection
