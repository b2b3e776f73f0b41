#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mirebolt::platform {

// One header field of a MIME entity, its continuation lines joined: the name in lower case (the
// case of a name carries no meaning) and the value as written, trimmed.
struct MimeField {
    std::string name;
    std::string value;
};

struct MimeHeader {
    std::vector<MimeField> fields;  // in their order
    std::size_t bodyStart = 0;      // just past the empty line that ends the header
    // The first field of that name (given in lower case), if any.
    const MimeField* Find(std::string_view name) const;
};

// The header at the start of `text`: the lines up to the first empty one, with CRLF or LF line
// ends. A field is "name: value", white space allowed before and after the colon, continued on
// lines that begin with a space or a tab. Lines that are no field (an mbox "From " line) are
// passed over. Nothing when no empty line ends the header within `text`.
std::optional<MimeHeader> ReadMimeHeader(std::string_view text);

// A structured field's value, "token; attribute=value; attribute="quoted value"" with comments
// in parentheses removed: the token (a type/subtype or an encoding) and the attributes in lower
// case, the values unquoted. Parameters that cannot be read end the list.
struct MimeValue {
    std::string token;
    std::vector<std::pair<std::string, std::string>> parameters;
    const std::string* Parameter(std::string_view attribute) const;
};
MimeValue ReadMimeValue(std::string_view value);

}  // namespace mirebolt::platform
