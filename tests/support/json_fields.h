#pragma once

#include <map>
#include <optional>
#include <string>

namespace mirebolt::testing {

// The scalar members of a JSON document as python3's json module reads it, by their paths:
// "certificates.0.name" → "Alice Archer". Strings are given as they are, every other value as
// JSON writes it (true, 1008, null); an empty array or object is "[]" or "{}". Nothing when the
// text is not exactly one valid JSON document in UTF-8.
std::optional<std::map<std::string, std::string>> JsonFields(const std::string& document);

}  // namespace mirebolt::testing
