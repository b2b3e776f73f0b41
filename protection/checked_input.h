#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "feedback/feedback.h"
#include "protection/input_file.h"

namespace mirebolt::protection {

// Opens a command's input and refuses one that cannot be opened, is empty or is larger than
// `limit`, each with its message. Nothing when the command must stop.
std::optional<InputFile> OpenInputWithinLimit(const std::string& path, std::uint64_t limit,
                                              const char* tooBigText, feedback::Feedback& feedback);

}  // namespace mirebolt::protection
