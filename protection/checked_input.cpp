#include "protection/checked_input.h"

#include "protection/command_texts.h"
#include "protection/size_limits.h"

namespace mirebolt::protection {

std::optional<InputFile> OpenInputWithinLimit(const std::string& path, std::uint64_t limit,
                                              const char* tooBigText,
                                              feedback::Feedback& feedback) {
    Result<InputFile> input = InputFile::Open(path);
    if (!input) {
        feedback.ReportError(texts::kReadFailed);
        return std::nullopt;
    }
    // A size that cannot be told (a pipe, a device) is not 0: it is too big.
    if (input->knownSize() == 0) {
        feedback.ShowWarning(texts::kEmptyInput);
        return std::nullopt;
    }
    if (!FitsLimit(input->knownSize(), limit)) {
        feedback.ShowWarning(tooBigText);
        return std::nullopt;
    }
    return std::move(*input);
}

}  // namespace mirebolt::protection
