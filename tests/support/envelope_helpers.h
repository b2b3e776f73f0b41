#pragma once

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/envelope.h"
#include "platform/open_envelope.h"
#include "protection/content_cipher.h"
#include "support/commands.h"
#include "support/test_files.h"

namespace mirebolt::testing {

inline platform::ContentAlgorithm Oid(protection::ContentCipher cipher) {
    return protection::AlgorithmFor(cipher);
}

// Makes a message the way Encrypt does: the size first, then a buffer of that size.
inline Result<Bytes> Seal(protection::ContentCipher cipher,
                          const std::vector<const platform::Certificate*>& recipients,
                          const Bytes& content) {
    Result<std::uint64_t> size = platform::EnvelopeSize(Oid(cipher), recipients, content.size());
    if (!size) {
        return size.failure();
    }
    Bytes message(*size);
    platform::MemorySource source(content);
    Result<std::uint64_t> written = platform::Envelope(Oid(cipher), recipients, source, message);
    if (!written) {
        return written.failure();
    }
    EXPECT_EQ(*written, *size) << "the size query must give the exact size";
    return message;
}

// Opens a message the way Decrypt does: the bound first, then a buffer of that size.
inline Result<Bytes> Unseal(const Bytes& message, const platform::PersonalStore& store,
                            platform::KeyAccessPrompt* prompt = nullptr) {
    platform::MemorySource source(message);
    Result<std::uint64_t> bound = platform::OpenedSizeBound(source);
    if (!bound) {
        return bound.failure();
    }
    Bytes content(*bound);
    Result<std::uint64_t> length = platform::OpenEnvelope(source, store, prompt, content);
    if (!length) {
        return length.failure();
    }
    EXPECT_LE(*length, *bound);
    content.resize(*length);
    return content;
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
