#pragma once

#include <string>

#include "base/result.h"
#include "protection/command_line_choices.h"
#include "protection/input_file.h"

namespace mirebolt::protection {

// Opens a command's input: standard input or the file named by `path`.
inline Result<InputFile> OpenCommandInput(const std::string& path,
                                          const CommandLineChoices* commandLine) {
    if (commandLine != nullptr && commandLine->standardInput) {
        return InputFile::StandardInput();
    }
    return InputFile::Open(path, commandLine != nullptr);
}

}  // namespace mirebolt::protection
