#include "protection/command_reports.h"

#include <cstdio>

#include "nss/error_text.h"
#include "protection/command_texts.h"
#include "protection/file_operations.h"

namespace mirebolt::protection {

namespace {

bool IsThere(const std::string& name, const NameState& state) {
    return state.kind == NameState::Kind::RegularFile || FileExists(name);
}

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// The system's or the library's reason, as the failure carries it.
std::string Reason(const Failure& failure) {
    if (platform::NoPasswordGiven(failure)) {
        return "no password or PIN was given";
    }
    if (!failure.text.empty()) {
        return failure.text;
    }
    char code[32];
    std::snprintf(code, sizeof code, "error 0x%08X", failure.code);
    return code;
}

}  // namespace

CommandReports::CommandReports(Command command, feedback::Feedback& feedback,
                               const CommandLineChoices* commandLine, const std::string& input,
                               std::string storeDirectory)
    : command_(command),
      feedback_(feedback),
      commandLine_(commandLine),
      input_(commandLine != nullptr && commandLine->standardInput ? "standard input"
                                                                  : Quoted(input)),
      storeDirectory_(std::move(storeDirectory)) {}

bool CommandReports::MayWrite(const std::string& name, const NameState& state) {
    if (!IsThere(name, state)) {
        return true;
    }
    const bool encrypting = command_ == Command::Encrypt;
    if (commandLine()) {
        return feedback_.AskYesNo(Quoted(name) + " already exists; replace it?", "",
                                  feedback::QuestionIcon::Warning) == feedback::Answer::Yes;
    }
    return feedback_.AskYesNo(
               encrypting ? texts::kReplaceEncrypted : texts::kReplaceDecrypted,
               encrypting ? texts::kReplaceEncryptedTitle : texts::kReplaceDecryptedTitle,
               encrypting ? feedback::QuestionIcon::Warning : feedback::QuestionIcon::Question) ==
           feedback::Answer::Yes;
}

void CommandReports::NotWritable(const std::string& name, const Failure& why) {
    if (commandLine()) {
        feedback_.ReportError("cannot write " + Quoted(name) + ": " + Reason(why));
    } else if (command_ == Command::Encrypt) {
        feedback_.ShowWarning(texts::kEncryptedLocationNotWritable);
    } else {
        feedback_.ReportError(texts::kDecryptedLocationNotWritable);
    }
}

void CommandReports::EmptyInput() {
    if (commandLine()) {
        feedback_.ReportError(input_ + " is empty: it holds no encrypted message");
    } else {
        feedback_.ShowWarning(texts::kEmptyInput);
    }
}

void CommandReports::Failed(const Failure& failure, const std::string& output) {
    if (failure.origin == FailureOrigin::Interrupted) {
        return;  // the program ends by the signal as soon as the command has cleaned up
    }
    if (!commandLine()) {
        WindowFailed(failure);
        return;
    }
    const char* verb = command_ == Command::Encrypt ? "encrypt" : "decrypt";
    switch (failure.origin) {
        case FailureOrigin::Input:
            feedback_.ReportError("cannot read " + input_ + ": " + Reason(failure));
            return;
        case FailureOrigin::Store:
            feedback_.ReportError("cannot open the certificate store " + Quoted(storeDirectory_) +
                                  ": " + Reason(failure));
            return;
        case FailureOrigin::Output:
            feedback_.ReportError("cannot write " + OutputNamed(output) + ": " + Reason(failure));
            return;
        case FailureOrigin::Memory:
            feedback_.ReportError(std::string("not enough memory to ") + verb + " " + input_);
            return;
        default:
            feedback_.ReportError(std::string("cannot ") + verb + " " + input_ + ": " +
                                  Reason(failure));
            return;
    }
}

std::string CommandReports::OutputNamed(const std::string& name) const {
    if (!name.empty()) {
        return Quoted(name);
    }
    const std::string& label = commandLine_->standardOutputLabel;
    return label == CommandLineChoices().standardOutputLabel ? label : Quoted(label);
}

void CommandReports::WindowFailed(const Failure& failure) {
    const bool encrypting = command_ == Command::Encrypt;
    switch (failure.origin) {
        case FailureOrigin::Input:
            feedback_.ReportError(texts::kReadFailed);
            return;
        case FailureOrigin::Store:
            if (!encrypting) {
                feedback_.ReportError(texts::kStoreFailed);
                return;
            }
            break;
        case FailureOrigin::Output:
            feedback_.ReportError(encrypting ? texts::kEncryptedWriteFailed
                                             : texts::kDecryptedWriteFailed);
            return;
        case FailureOrigin::Memory:
            feedback_.ReportError(encrypting ? texts::kNoMemoryToEncrypt
                                             : texts::kNoMemoryToDecrypt);
            return;
        default:
            break;
    }
    feedback_.ReportError(encrypting ? texts::kEncryptionFailed : texts::kDecryptionFailed,
                          failure);
}

void CommandReports::Done(const std::string& outputLabel) {
    feedback_.ShowInformation(
        (command_ == Command::Encrypt ? texts::kEncrypted : texts::kDecrypted) +
        Quoted(outputLabel));
}

}  // namespace mirebolt::protection
