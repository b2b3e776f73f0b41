#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/ber_stream.h"
#include "cms/envelope.h"
#include "cms/message_reader.h"
#include "cms/open_envelope.h"
#include "protection/content_cipher.h"
#include "support/commands.h"
#include "support/test_files.h"

namespace mirebolt::testing {

inline platform::ContentAlgorithm Oid(protection::ContentCipher cipher) {
    return protection::AlgorithmFor(cipher);
}

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
inline Result<Bytes> Seal(protection::ContentCipher cipher,
                          const std::vector<const platform::Certificate*>& recipients,
                          const Bytes& content) {
    Result<std::uint64_t> size = platform::EnvelopeSize(Oid(cipher), recipients, content.size());
    if (!size) {
        return size.failure();
    }
    platform::MemorySource source(content);
    platform::SourceStream stream(source);
    CollectingSink sink;
    Result<std::uint64_t> written =
        platform::EnvelopeStream(Oid(cipher), recipients, stream, content.size(), sink);
    if (!written) {
        return written.failure();
    }
    EXPECT_EQ(*written, *size) << "the size query must give the exact size";
    EXPECT_EQ(sink.got.size(), *size);
    return sink.got;
}

// Opens a message held in `source` the way Decrypt opens a file, into `out`; gives the
// content's length, or the failure with `out` wiped.
inline Result<std::uint64_t> OpenIntoBuffer(platform::ByteSource& source,
                                            const platform::PersonalStore& store,
                                            platform::KeyAccessPrompt* prompt,
                                            std::span<std::uint8_t> out) {
    CollectingSink sink;
    platform::SourceStream stream(source);
    Result<std::uint64_t> length = platform::OpenEnvelope(stream, &source, store, prompt, sink);
    Status checked = length ? source.ConfirmUnchanged() : Status(length.failure());
    if (checked && sink.got.size() > out.size()) {
        checked = Failure{0, "more content than the buffer holds"};
    }
    if (!checked) {
        std::fill(out.begin(), out.end(), 0);
        return checked.failure();
    }
    std::copy(sink.got.begin(), sink.got.end(), out.begin());
    return *length;
}

// Opens a message the way Decrypt opens a file.
inline Result<Bytes> Unseal(const Bytes& message, const platform::PersonalStore& store,
                            platform::KeyAccessPrompt* prompt = nullptr) {
    platform::MemorySource source(message);
    platform::SourceStream stream(source);
    CollectingSink sink;
    Result<std::uint64_t> length = platform::OpenEnvelope(stream, &source, store, prompt, sink);
    if (!length) {
        return length.failure();
    }
    EXPECT_EQ(*length, sink.got.size());
    return sink.got;
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
