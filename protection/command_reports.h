#pragma once

#include <string>

#include "base/result.h"
#include "feedback/feedback.h"
#include "protection/name_state.h"

namespace mirebolt::protection {

// What the two commands ask and tell, in both their whole-file and streamed forms.

// Whether the output may go under `name`, which held `state` when looked at: yes when nothing
// is there or the person agrees to replace what is. A file the person cannot read is asked
// about too, since the output would replace it.
bool MayWriteEncrypted(const std::string& name, const NameState& state,
                       feedback::Feedback& feedback);
bool MayWriteDecrypted(const std::string& name, const NameState& state,
                       feedback::Feedback& feedback);

// The text for a failure, chosen by the step it arose in: reading the input, opening the store,
// writing the output, or the work itself (with the platform's reason).
void ReportEncryptionFailure(feedback::Feedback& feedback, const Failure& failure);
void ReportDecryptionFailure(feedback::Feedback& feedback, const Failure& failure);

// The closing information: where the output was written.
void ReportEncrypted(feedback::Feedback& feedback, const std::string& outputLabel);
void ReportDecrypted(feedback::Feedback& feedback, const std::string& outputLabel);

}  // namespace mirebolt::protection
