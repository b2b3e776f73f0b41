#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/byte_stream.h"
#include "cms/open_envelope.h"
#include "support/commands.h"
#include "support/envelope_helpers.h"
#include "support/test_files.h"
#include "support/trickle_stream.h"

namespace mirebolt::testing {

inline Result<Bytes> UnsealStream(const Bytes& message, const platform::PersonalStore& store,
                                  platform::KeyAccessPrompt* prompt = nullptr) {
    TrickleStream stream(message);
    CollectingSink sink;
    Result<std::uint64_t> length = platform::OpenEnvelope(stream, nullptr, store, prompt, sink);
    if (!length) {
        return length.failure();
    }
    EXPECT_EQ(*length, sink.got.size());
    return sink.got;
}

// A message made by `openssl cms -encrypt` from `content`, with the given options and
// recipients' certificate files (fixture names).
inline Bytes OpensslMessage(const Bytes& content, const std::vector<std::string>& options) {
    TempDir dir;
    WriteBytes(dir / "plain", content);
    std::vector<std::string> arguments{"openssl", "cms",         "-encrypt", "-binary",
                                       "-in",     dir / "plain", "-out",     dir / "message"};
    for (const std::string& option : options) {
        const bool certificate = option.ends_with(".pem");
        arguments.push_back(certificate ? FixturePath(option) : option);
    }
    CommandResult run = RunCommand(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return ReadBytes(dir / "message");
}

// The message with one part rewritten by tests/tools/rewrite_message.py.
inline Bytes Rewritten(const Bytes& message, const std::string& operation,
                       const std::string& argument = "") {
    TempDir dir;
    WriteBytes(dir / "in", message);
    std::vector<std::string> arguments{"/usr/bin/python3",
                                       std::string(MIREBOLT_TEST_TOOLS) + "/rewrite_message.py",
                                       operation, dir / "in", dir / "out"};
    if (!argument.empty()) {
        arguments.push_back(argument);
    }
    CommandResult run = RunCommand(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return ReadBytes(dir / "out");
}

}  // namespace mirebolt::testing
