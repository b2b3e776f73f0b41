#pragma once

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/ber_stream.h"
#include "cms/envelope.h"
#include "cms/message_reader.h"
#include "cms/open_envelope.h"
#include "nss/cms_algorithms.h"
#include "support/commands.h"
#include "support/test_files.h"

namespace mirebolt::testing {

class CollectingSink final : public platform::ByteSink {
  public:
    Status Write(std::span<const std::uint8_t> bytes) override {
        got.insert(got.end(), bytes.begin(), bytes.end());
        return {};
    }
    Bytes got;
};

// Makes a message the way Encrypt does from a file: its size known, so DER of the size the
// size query gives.
inline Result<Bytes> Seal(platform::ContentAlgorithm cipher,
                          const std::vector<const platform::Certificate*>& recipients,
                          const Bytes& content) {
    Result<std::uint64_t> size = platform::EnvelopeSize(cipher, recipients, content.size());
    if (!size) {
        return size.failure();
    }
    platform::MemorySource source(content);
    platform::SourceStream stream(source);
    CollectingSink sink;
    Result<std::uint64_t> written =
        platform::EnvelopeStream(cipher, recipients, stream, content.size(), sink);
    if (!written) {
        return written.failure();
    }
    EXPECT_EQ(*written, *size) << "the size query must give the exact size";
    EXPECT_EQ(sink.got.size(), *size);
    return sink.got;
}

// Opens a message held in `source` the way Decrypt opens a file: in one pass with random
// access, the source then checked for changes.
inline Result<Bytes> OpenSource(platform::ByteSource& source, const platform::PersonalStore& store,
                                platform::KeyAccessPrompt* prompt = nullptr) {
    platform::SourceStream stream(source);
    CollectingSink sink;
    Result<std::uint64_t> length = platform::OpenEnvelope(stream, &source, store, prompt, sink);
    if (!length) {
        return length.failure();
    }
    if (Status unchanged = source.ConfirmUnchanged(); !unchanged) {
        return unchanged.failure();
    }
    EXPECT_EQ(*length, sink.got.size());
    return sink.got;
}

inline Result<Bytes> Unseal(const Bytes& message, const platform::PersonalStore& store,
                            platform::KeyAccessPrompt* prompt = nullptr) {
    platform::MemorySource source(message);
    return OpenSource(source, store, prompt);
}

// An NSS error number as a failure carries it.
constexpr std::uint32_t NssCode(int nssError) {
    return static_cast<std::uint32_t>(nssError);
}

// What an independent parser (asn1crypto, through tests/tools/inspect_envelope.py) reads from
// the message, as name=value facts.
inline std::map<std::string, std::string> InspectEnvelope(const Bytes& message) {
    TempDir dir;
    WriteBytes(dir / "message.p7m", message);
    CommandResult run =
        RunCommand({"/usr/bin/python3", std::string(MIREBOLT_TEST_TOOLS) + "/inspect_envelope.py",
                    dir / "message.p7m"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::map<std::string, std::string> facts;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (auto equals = line.find('='); equals != std::string::npos) {
            facts[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return facts;
}

inline std::string Describe(const Failure& failure) {
    return std::to_string(static_cast<std::int32_t>(failure.code)) + " " + failure.text;
}

}  // namespace mirebolt::testing
