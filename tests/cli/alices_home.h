#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/commands.h"
#include "support/test_files.h"

namespace mirebolt::testing {

// A home folder of the program's own whose personal store is a copy of Alice's, and a work
// folder beside it where the program runs.
class AlicesHome : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(home_.path() / ".pki");
        std::filesystem::copy(FixturePath("store-alice"), home_.path() / ".pki/nssdb",
                              std::filesystem::copy_options::recursive);
    }

    // mirebolt-cli in its own process, without a terminal, in the work folder.
    ProgramResult Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), MIREBOLT_CLI);
        return RunProgram(arguments, {"HOME=" + home_.path().string()}, work_.path().string());
    }

    TempDir home_;
    TempDir work_;
};

// The same, with a letter to protect in the work folder: letter.txt, a size that is no multiple
// of the cipher's block.
class AlicesHomeWithLetter : public AlicesHome {
  protected:
    void SetUp() override {
        AlicesHome::SetUp();
        WriteBytes(work_ / "letter.txt", content_);
    }

    Bytes content_ = RandomBytes(12'345);
};

}  // namespace mirebolt::testing
