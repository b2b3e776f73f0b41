#pragma once

#include <string>
#include <string_view>

namespace mirebolt::directory {

// `value` as it may stand on the right of "=" in a search filter: the characters the filter's
// grammar gives a meaning ("*", "(", ")", "\" and NUL) written as "\" and two hex digits, so that
// an address never widens or breaks the search.
std::string EscapedFilterValue(std::string_view value);

}  // namespace mirebolt::directory
