#include "asn1/mime_header.h"

#include <algorithm>
#include <cctype>

namespace mirebolt::platform {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// A field name: printable US-ASCII except the colon, no white space.
bool IsFieldName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(),
                                        [](char c) { return c > ' ' && c < 0x7F && c != ':'; });
}

// The value with its comments, "(...)" outside quoted strings, nested and with backslash
// escapes, each replaced by one space; quoted strings stay as written.
std::string WithoutComments(std::string_view value) {
    std::string kept;
    std::size_t i = 0;
    while (i < value.size()) {
        const char c = value[i];
        if (c == '"') {
            const std::size_t start = i++;
            while (i < value.size() && value[i] != '"') {
                i += value[i] == '\\' ? 2 : 1;
            }
            i = std::min(i + 1, value.size());
            kept.append(value.substr(start, i - start));
        } else if (c == '(') {
            int depth = 0;
            do {
                if (value[i] == '\\') {
                    ++i;
                } else if (value[i] == '(') {
                    ++depth;
                } else if (value[i] == ')') {
                    --depth;
                }
                ++i;
            } while (i < value.size() && depth > 0);
            kept.push_back(' ');
        } else {
            kept.push_back(c);
            ++i;
        }
    }
    return kept;
}

}  // namespace

const MimeField* MimeHeader::Find(std::string_view name) const {
    const auto found = std::find_if(fields.begin(), fields.end(),
                                    [name](const MimeField& field) { return field.name == name; });
    return found == fields.end() ? nullptr : &*found;
}

std::optional<MimeHeader> ReadMimeHeader(std::string_view text) {
    MimeHeader header;
    bool continuable = false;  // whether the line before was a field that a fold may continue
    std::size_t position = 0;
    for (;;) {
        const std::size_t lineEnd = text.find('\n', position);
        if (lineEnd == std::string_view::npos) {
            return std::nullopt;
        }
        std::string_view line = text.substr(position, lineEnd - position);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        position = lineEnd + 1;
        if (line.empty()) {
            break;
        }
        if (IsBlank(line.front())) {
            if (continuable) {
                header.fields.back().value.append(line);
            }
            continue;
        }
        const std::size_t colon = line.find(':');
        const std::string_view name =
            colon == std::string_view::npos ? std::string_view() : Trimmed(line.substr(0, colon));
        continuable = IsFieldName(name);
        if (continuable) {
            header.fields.push_back({Lower(name), std::string(line.substr(colon + 1))});
        }
    }
    for (MimeField& field : header.fields) {
        field.value = std::string(Trimmed(field.value));
    }
    header.bodyStart = position;
    return header;
}

const std::string* MimeValue::Parameter(std::string_view attribute) const {
    const auto found =
        std::find_if(parameters.begin(), parameters.end(),
                     [attribute](const auto& parameter) { return parameter.first == attribute; });
    return found == parameters.end() ? nullptr : &found->second;
}

MimeValue ReadMimeValue(std::string_view value) {
    const std::string text = WithoutComments(value);
    MimeValue read;
    std::size_t position = std::min(text.find(';'), text.size());
    for (char c : std::string_view(text).substr(0, position)) {
        if (!IsBlank(c)) {
            read.token.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    const auto skipBlanks = [&] {
        while (position < text.size() && IsBlank(text[position])) {
            ++position;
        }
    };
    while (position < text.size()) {
        ++position;  // the ';'
        skipBlanks();
        const std::size_t equals = text.find('=', position);
        if (position == text.size() || equals == std::string::npos) {
            break;
        }
        const std::string attribute = Lower(Trimmed(text.substr(position, equals - position)));
        position = equals + 1;
        skipBlanks();
        std::string parameterValue;
        if (position < text.size() && text[position] == '"') {
            ++position;
            while (position < text.size() && text[position] != '"') {
                if (text[position] == '\\' && position + 1 < text.size()) {
                    ++position;
                }
                parameterValue.push_back(text[position++]);
            }
            if (position == text.size()) {
                break;  // the quoted string never ends
            }
            ++position;
        } else {
            const std::size_t end = std::min(text.find(';', position), text.size());
            parameterValue = std::string(Trimmed(text.substr(position, end - position)));
            position = end;
        }
        if (attribute.empty() || !IsFieldName(attribute)) {
            break;
        }
        read.parameters.emplace_back(attribute, std::move(parameterValue));
        skipBlanks();
        if (position < text.size() && text[position] != ';') {
            break;
        }
    }
    return read;
}

}  // namespace mirebolt::platform
