#include "cli/streamed_run.h"

#include <signal.h>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/interruption.h"
#include "cli/stream_adapters.h"
#include "protection/command_texts.h"

namespace mirebolt::cli {

int RunStreamed(const std::string& file, feedback::Feedback& feedback,
                const std::function<protection::CommandOutcome(const StreamedIo&)>& command) {
    std::optional<StreamedInput> opened = OpenStreamedInput(file);
    if (!opened) {
        feedback.ReportError(protection::texts::kReadFailed);
        return kFailed;
    }
    // Standard output may be a reader that went away: that is a failed write, not a death.
    ::signal(SIGPIPE, SIG_IGN);
    const Interruption interruption;
    DescriptorStream descriptor(opened->fd);
    ProgressStream input(descriptor, opened->size);
    DescriptorSink standardOutput(STDOUT_FILENO);
    const protection::CommandOutcome outcome =
        command(StreamedIo{input, opened->size, opened->identity, standardOutput});
    if (Interruption::Noted()) {
        Interruption::EndBySignal();
    }
    return outcome == protection::CommandOutcome::Succeeded ? kSucceeded : kFailed;
}

}  // namespace mirebolt::cli
