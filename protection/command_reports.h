#pragma once

#include <string>

#include "base/result.h"
#include "feedback/feedback.h"
#include "protection/command_line_choices.h"
#include "protection/name_state.h"

namespace mirebolt::protection {

// What one run of a command asks and tells, in the window's words or the command line's. The
// window shows its own fixed texts; the command line names the file each text is about and
// gives the system's reason, as a command-line tool does.
class CommandReports {
  public:
    enum class Command { Encrypt, Decrypt };

    // `input` is the path given (standard input's, on the command line, is named so);
    // `storeDirectory` the personal store the command opens, if it opens one.
    CommandReports(Command command, feedback::Feedback& feedback,
                   const CommandLineChoices* commandLine, const std::string& input,
                   std::string storeDirectory = {});

    bool commandLine() const { return commandLine_ != nullptr; }

    // Whether the output may go under `name`, which held `state` when looked at: yes when
    // nothing is there or the person agrees to replace what is. A file the person cannot read
    // is asked about too, since the output would replace it.
    bool MayWrite(const std::string& name, const NameState& state);

    // The output's name cannot take a file; `why` is the system's reason.
    void NotWritable(const std::string& name, const Failure& why);
    // The input holds nothing.
    void EmptyInput();
    // The text for a failure, chosen by the step it arose in: reading the input, opening the
    // store, writing the output named `output` (none: the command line's stream), or the work
    // itself.
    void Failed(const Failure& failure, const std::string& output);
    // The closing information: where the output was written.
    void Done(const std::string& outputLabel);

  private:
    void WindowFailed(const Failure& failure);
    std::string OutputNamed(const std::string& name) const;

    Command command_;
    feedback::Feedback& feedback_;
    const CommandLineChoices* commandLine_;
    std::string input_;  // as the command line names it
    std::string storeDirectory_;
};

}  // namespace mirebolt::protection
