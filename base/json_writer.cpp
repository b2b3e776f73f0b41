#include "base/json_writer.h"

namespace mirebolt::platform {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `bytes`, or 0 when it is not one
// (a stray continuation byte, a sequence cut short, an overlong form, a surrogate, beyond
// U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        secondLow = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        secondHigh = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        secondLow = lead == 0xF0 ? 0x90 : 0x80;   // no overlong forms
        secondHigh = lead == 0xF4 ? 0x8F : 0xBF;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() < length || byte(1) < secondLow || byte(1) > secondHigh) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

void AppendQuoted(std::string& text, std::string_view value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    text += '"';
    while (!value.empty()) {
        const unsigned char first = static_cast<unsigned char>(value.front());
        const std::size_t length = Utf8SequenceLength(value);
        if (length == 0) {
            text += "\\ufffd";  // one for each byte that is no part of a character
            value.remove_prefix(1);
            continue;
        }
        if (first == '"' || first == '\\') {
            text += '\\';
            text += static_cast<char>(first);
        } else if (first < 0x20) {
            text += "\\u00";
            text += kDigits[first >> 4];
            text += kDigits[first & 0x0F];
        } else {
            text.append(value.substr(0, length));
        }
        value.remove_prefix(length);
    }
    text += '"';
}

}  // namespace

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasMembers_.empty()) {
        if (hasMembers_.back()) {
            text_ += ',';
        }
        hasMembers_.back() = true;
    }
}

void JsonWriter::Open(char bracket) {
    BeforeValue();
    text_ += bracket;
    hasMembers_.push_back(false);
}

void JsonWriter::Close(char bracket) {
    text_ += bracket;
    hasMembers_.pop_back();
}

JsonWriter& JsonWriter::BeginObject() {
    Open('{');
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    Close('}');
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    Open('[');
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    Close(']');
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
    BeforeValue();
    AppendQuoted(text_, key);
    text_ += ':';
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view value) {
    BeforeValue();
    AppendQuoted(text_, value);
    return *this;
}

JsonWriter& JsonWriter::Number(std::uint64_t value) {
    BeforeValue();
    text_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    text_ += "null";
    return *this;
}

}  // namespace mirebolt::platform
