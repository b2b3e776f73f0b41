#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirebolt::platform {

// Writes one JSON document into a string, compact, with the commas and colons put in for the
// caller. Every string is written as valid JSON whatever its bytes: quotes, backslashes and
// control characters are escaped, and bytes that are not UTF-8 (a certificate's name may hold
// any) become U+FFFD. The caller pairs each Begin with its End and gives each member's key
// before its value.
class JsonWriter {
  public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(std::string_view key);
    JsonWriter& String(std::string_view value);
    JsonWriter& Number(std::uint64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    // The document so far; whole once every object and array is ended.
    const std::string& text() const { return text_; }

  private:
    void BeforeValue();
    void Open(char bracket);
    void Close(char bracket);

    std::string text_;
    std::vector<bool> hasMembers_;  // one for each object or array open
    bool afterKey_ = false;
};

}  // namespace mirebolt::platform
