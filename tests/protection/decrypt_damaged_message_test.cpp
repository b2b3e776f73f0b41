// Messages that are damaged, forged or hollow must never produce an output file, and an output
// the person agreed to overwrite must keep its bytes when decryption fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "protection/decrypt_command.h"
#include "support/commands.h"
#include "support/der_tree.h"
#include "support/fake_ports.h"
#include "support/test_files.h"

namespace mirebolt::protection {
namespace {

using feedback::Answer;
using testing::Bytes;
using testing::DerNode;

constexpr char kDecryptionFailed[] = "Failed to decrypt the selected file";

class DecryptDamagedMessage : public ::testing::Test {
  protected:
    // A DER message from openssl for `recipient`, over content of a whole number of blocks, so
    // that the last block is padding alone.
    Bytes OpensslMessage(const char* cipher, const char* recipient = "alice") {
        testing::WriteBytes(dir_ / "plain", content_);
        auto run = testing::RunCommand({"openssl", "cms", "-encrypt", "-binary", cipher, "-outform",
                                        "DER", "-in", dir_ / "plain", "-out", dir_ / "made.der",
                                        testing::FixturePath(std::string(recipient) + ".pem")});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        std::filesystem::remove(dir_ / "plain");
        Bytes message = testing::ReadBytes(dir_ / "made.der");
        std::filesystem::remove(dir_ / "made.der");
        return message;
    }

    // Decrypts `message` from "m.enc" into "m", with the store given.
    CommandOutcome Run(const Bytes& message, const std::string& store,
                       std::deque<Answer> answers = {}) {
        testing::WriteBytes(dir_ / "m.enc", message);
        feedback_ = testing::RecordingFeedback(&busy_, std::move(answers));
        DecryptRequest request{dir_ / "m.enc", store, std::nullopt};
        return Decrypt(request, DecryptPorts{feedback_, busy_, save_, nullptr});
    }

    // The command failed with the decryption text, and left no output behind.
    void ExpectFailedWithoutOutput(CommandOutcome outcome, const std::string& what) {
        EXPECT_EQ(outcome, CommandOutcome::Failed) << what;
        ASSERT_EQ(feedback_.shown.size(), 1u) << what;
        EXPECT_EQ(feedback_.shown[0].kind, testing::Shown::Kind::Error) << what;
        EXPECT_EQ(feedback_.shown[0].text.rfind(kDecryptionFailed, 0), 0u)
            << what << ": " << feedback_.shown[0].text;
        EXPECT_FALSE(std::filesystem::exists(dir_ / "m")) << what << ": an output was left";
        std::filesystem::remove(dir_ / "m");
    }

    // With an existing output answered Yes: it keeps its bytes.
    void ExpectExistingOutputKept(const Bytes& message, const std::string& store,
                                  const std::string& what) {
        const Bytes existing{'k', 'e', 'e', 'p', ' ', 'm', 'e'};
        testing::WriteBytes(dir_ / "m", existing);
        EXPECT_EQ(Run(message, store, {Answer::Yes}), CommandOutcome::Failed) << what;
        ASSERT_EQ(feedback_.shown.size(), 2u) << what;
        EXPECT_EQ(feedback_.shown[1].text.rfind(kDecryptionFailed, 0), 0u)
            << what << ": " << feedback_.shown[1].text;
        EXPECT_EQ(testing::ReadBytes(dir_ / "m"), existing) << what;
        std::filesystem::remove(dir_ / "m");
    }

    testing::TempDir dir_;
    testing::StoreFolder alices_{"store-alice"};
    testing::TempDir noDatabase_;  // a folder without a database: an empty store
    Bytes content_ = testing::RandomBytes(64 * 1024);
    testing::FakeBusy busy_;
    testing::RecordingFeedback feedback_;
    testing::ScriptedSaveQuestion save_;
};

TEST_F(DecryptDamagedMessage, TheMessagesUsedHereOpenUndamaged) {
    ASSERT_EQ(Run(OpensslMessage("-aes256"), alices_.directory()), CommandOutcome::Succeeded);
    EXPECT_EQ(testing::ReadBytes(dir_ / "m"), content_);
}

// The first primitive element inside `node`, depth first.
DerNode& FirstPrimitive(DerNode& node) {
    return node.constructed() ? FirstPrimitive(node.children.front()) : node;
}

TEST_F(DecryptDamagedMessage, AForgedGcmMessageWritesNothing) {
    // openssl's message has no authenticated attributes; python's has them, and the tag covers
    // them as it covers the content, which comes before them.
    const Bytes withAttributes =
        testing::ReadBytes(std::string(MIREBOLT_PEER_MESSAGES) + "/gcm-attributes.der");
    for (const Bytes& original : {OpensslMessage("-aes-256-gcm"), withAttributes}) {
        ASSERT_EQ(Run(original, alices_.directory()), CommandOutcome::Succeeded);
        std::filesystem::remove(dir_ / "m");
        // AuthEnvelopedData: ..., authEncryptedContentInfo, [authAttrs,] mac[, unauthAttrs].
        DerNode parsed = DerNode::Parse(original);
        std::vector<DerNode>& fields = parsed[1][0].children;
        const auto mac = std::find_if(fields.begin(), fields.end(),
                                      [](const DerNode& field) { return field.tag == 0x04; });
        ASSERT_NE(mac, fields.end());
        const std::size_t macAt = static_cast<std::size_t>(mac - fields.begin());
        ASSERT_EQ(testing::EncryptedContentInfo(parsed).children.back().tag, 0x80);

        std::vector<std::pair<std::string, Bytes>> forgeries;
        DerNode contentFlipped = parsed;
        testing::EncryptedContentInfo(contentFlipped).children.back().content[1000] ^= 0x01;
        forgeries.emplace_back("content", contentFlipped.Encode());
        DerNode tagFlipped = parsed;
        tagFlipped[1][0].children[macAt].content[15] ^= 0x80;
        forgeries.emplace_back("tag", tagFlipped.Encode());
        DerNode nonceFlipped = parsed;
        // The algorithm's GCMParameters: the nonce first.
        testing::EncryptedContentInfo(nonceFlipped)[1][1][0].content[11] ^= 0x01;
        forgeries.emplace_back("nonce", nonceFlipped.Encode());
        if (fields[macAt - 1].tag == 0xA1) {
            DerNode attributesFlipped = parsed;
            FirstPrimitive(attributesFlipped[1][0].children[macAt - 1]).content.back() ^= 0x01;
            forgeries.emplace_back("attributes", attributesFlipped.Encode());
        }
        for (const auto& [what, forged] : forgeries) {
            ASSERT_EQ(forged.size(), original.size());
            ExpectFailedWithoutOutput(Run(forged, alices_.directory()), what);
            ExpectExistingOutputKept(forged, alices_.directory(), what);
        }
    }
}

TEST_F(DecryptDamagedMessage, BadPaddingWritesNothing) {
    for (const char* cipher : {"-aes256", "-des3"}) {
        DerNode parsed = DerNode::Parse(OpensslMessage(cipher));
        Bytes& ciphertext = testing::EncryptedContentInfo(parsed).children.back().content;
        const std::size_t block = std::string(cipher) == "-des3" ? 8 : 16;
        ASSERT_EQ(ciphertext.size(), content_.size() + block);
        // The last block decrypts to padding alone; a changed bit in the block before it makes
        // its last byte one more than a block's length, which no padding can be.
        ciphertext[ciphertext.size() - block - 1] ^= static_cast<std::uint8_t>(block ^ (block + 1));
        ExpectFailedWithoutOutput(Run(parsed.Encode(), alices_.directory()), cipher);
        ExpectExistingOutputKept(parsed.Encode(), alices_.directory(), cipher);
    }
}

TEST_F(DecryptDamagedMessage, AMessageWithoutContentDecryptsToNothingForNoOne) {
    const Bytes forAlice = OpensslMessage("-aes256", "alice");
    const Bytes forBob = OpensslMessage("-aes256", "bob");
    struct Hollow {
        const char* what;
        std::optional<DerNode> content;  // nothing: the field is left out
    };
    DerNode emptyPrimitive{0x80, {}, {}};
    DerNode emptyConstructed{0xA0, {}, {}};
    DerNode emptyPieces{0xA0, {}, {DerNode{0x04, {}, {}}, DerNode{0x04, {}, {}}}};
    for (const Hollow& hollow : {Hollow{"absent", std::nullopt}, Hollow{"empty", emptyPrimitive},
                                 Hollow{"empty constructed", emptyConstructed},
                                 Hollow{"constructed of empty pieces", emptyPieces}}) {
        for (const Bytes* original : {&forAlice, &forBob}) {
            DerNode parsed = DerNode::Parse(*original);
            DerNode& info = testing::EncryptedContentInfo(parsed);
            ASSERT_EQ(info.children.size(), 3u);
            info.children.pop_back();
            if (hollow.content) {
                info.children.push_back(*hollow.content);
            }
            const Bytes message = parsed.Encode();
            const std::string what =
                std::string(hollow.what) + (original == &forAlice ? ", for alice" : ", for bob");
            for (const std::string& store : {alices_.directory(), noDatabase_.path().string()}) {
                const std::string where =
                    what +
                    (store == alices_.directory() ? ", with alice's store" : ", with no store");
                ExpectFailedWithoutOutput(Run(message, store), where);
                ExpectExistingOutputKept(message, store, where);
            }
        }
    }
}

}  // namespace
}  // namespace mirebolt::protection
