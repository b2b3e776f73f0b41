// --json: the listings as one document a program reads, each field what the text says.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/alices_home.h"
#include "support/json_fields.h"

namespace mirebolt {
namespace {

using testing::FixturePath;
using testing::ProgramResult;
using Fields = std::map<std::string, std::string>;

// "  Label:   value" lines, each block's heading as "name"; blocks apart by empty lines.
std::vector<Fields> TextBlocks(const std::string& text) {
    std::vector<Fields> blocks(1);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) {
            blocks.emplace_back();
        } else if (line.rfind("  ", 0) != 0) {
            blocks.back()["name"] = line;
        } else if (const std::size_t colon = line.find(':'); colon != std::string::npos) {
            const std::size_t value = line.find_first_not_of(' ', colon + 1);
            blocks.back()[line.substr(line.find_first_not_of(' '), colon - 2)] =
                value == std::string::npos ? "" : line.substr(value);
        }
    }
    return blocks;
}

// Every certificate the text lists has the same particulars in the document, and no more
// certificates are there.
void ExpectSameCertificates(const std::string& text, const Fields& json, bool fromStore) {
    const std::vector<Fields> blocks = TextBlocks(text);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Fields& shown = blocks[i];
        const auto member = [&](const std::string& key) {
            const auto found = json.find("certificates." + std::to_string(i) + "." + key);
            return found == json.end() ? std::string("(missing)") : found->second;
        };
        const auto shownOr = [&](const std::string& label, const std::string& otherwise) {
            const auto found = shown.find(label);
            return found == shown.end() ? otherwise : found->second;
        };
        SCOPED_TRACE(shownOr("name", "?"));
        EXPECT_EQ(member("name"), shownOr("name", "?"));
        EXPECT_EQ(member("subject"), shownOr("Subject", "?"));
        EXPECT_EQ(member("issuer"), shownOr("Issuer", "?"));
        EXPECT_EQ(member("not_after") + " (UTC)", shownOr("Expires", "?"));
        EXPECT_EQ(member("status"), shownOr("Status", "?"));
        EXPECT_EQ(member("serial"), shownOr("Serial", "?"));
        EXPECT_EQ(member("key"), shownOr("Key", "?"));
        EXPECT_EQ(member("sha256"), shownOr("SHA-256", "?"));
        EXPECT_EQ(member("nickname"), shownOr("Nickname", "null"));
        if (fromStore) {
            EXPECT_EQ(member("own"), shownOr("Own key", "?") == "yes" ? "true" : "false");
            EXPECT_EQ(member("token"), shownOr("Token", "null"));
        } else {
            EXPECT_EQ(member("own"), "(missing)");
        }
    }
    EXPECT_EQ(json.count("certificates." + std::to_string(blocks.size()) + ".name"), 0u);
}

struct TextAndFields {
    std::string text;
    Fields json;
};

class JsonOutput : public testing::AlicesHome {
  protected:
    // The command's text and its document, each run on its own.
    TextAndFields TextAndJson(std::vector<std::string> arguments) {
        const ProgramResult text = Run(arguments);
        EXPECT_EQ(text.exitCode, 0) << text.err;
        arguments.push_back("--json");
        const ProgramResult json = Run(arguments);
        EXPECT_EQ(json.exitCode, 0) << json.err;
        EXPECT_EQ(json.err, text.err);
        std::optional<Fields> fields = testing::JsonFields(json.out);
        EXPECT_TRUE(fields.has_value()) << json.out;
        return {text.out, fields.value_or(Fields{})};
    }
};

TEST_F(JsonOutput, StoreAndCertsSayWhatTheTextSays) {
    const TextAndFields listed = TextAndJson({"store"});
    const Fields& store = listed.json;
    ExpectSameCertificates(listed.text, store, true);
    EXPECT_EQ(store.at("certificates.0.name"), "Alice Archer");
    EXPECT_EQ(store.at("certificates.0.email"), "alice@example.org");
    EXPECT_EQ(store.at("certificates.0.problems"), "[]");
    EXPECT_EQ(store.at("certificates.0.fit"), "true");

    // One of each kind of trouble, and a key of another kind.
    std::ofstream(work_ / "mixed.pem") << std::ifstream(FixturePath("dave.pem")).rdbuf()
                                       << std::ifstream(FixturePath("nina.pem")).rdbuf()
                                       << std::ifstream(FixturePath("rita.pem")).rdbuf()
                                       << std::ifstream(FixturePath("frank.pem")).rdbuf()
                                       << std::ifstream(FixturePath("erin.pem")).rdbuf();
    const TextAndFields fromFile = TextAndJson({"certs", "mixed.pem"});
    const Fields& certs = fromFile.json;
    ExpectSameCertificates(fromFile.text, certs, false);
    const char* const kProblems[] = {"expired", "not-yet-valid", "revoked", "signing-only"};
    for (std::size_t i = 0; i < std::size(kProblems); ++i) {
        const std::string at = "certificates." + std::to_string(i) + ".";
        EXPECT_EQ(certs.at(at + "problems.0"), kProblems[i]);
        EXPECT_EQ(certs.at(at + "fit"), "false");
    }
    EXPECT_EQ(certs.at("certificates.1.not_before"), "2099-01-01");
    EXPECT_EQ(certs.at("certificates.4.email"), "null");
}

TEST_F(JsonOutput, InfoSaysWhatTheTextSays) {
    testing::WriteBytes(work_ / "plain", testing::RandomBytes(999));
    // An entry Alice can use, one for a key she lacks, and one of a kind this program skips.
    auto made = testing::RunCommand({"openssl", "cms", "-encrypt", "-binary", "-outform", "DER",
                                     "-aes-256-cbc", "-in", work_ / "plain", "-out",
                                     work_ / "letter.der", "-recip", FixturePath("alice.pem"),
                                     "-recip", FixturePath("erin.pem"), "-pwri_password", "pw"});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const TextAndFields described = TextAndJson({"info", "letter.der"});
    const std::string& text = described.text;
    const Fields& json = described.json;
    const std::string head = "Form: " + json.at("form") + "\nType: " + json.at("type") +
                             "\nContent cipher: " + json.at("content_cipher") +
                             "\nEncrypted content: " + json.at("encrypted_bytes") +
                             " bytes\nRecipient entries: " + json.at("recipient_count") + "\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    std::string entries;
    for (int i = 0; json.count("recipients." + std::to_string(i) + ".kind") != 0; ++i) {
        const auto member = [&](const std::string& key) {
            return json.at("recipients." + std::to_string(i) + "." + key);
        };
        entries += "  " + std::to_string(i + 1) + ". " + member("kind") + ": " +
                   member("key_algorithm") +
                   (member("usable") == "true" ? "" : " (this program cannot use it)") + "\n";
        if (member("recipient") != "null") {
            entries += "     Recipient: " + member("recipient") + "\n";
        }
        if (json.count("recipients." + std::to_string(i) + ".certificate.name") != 0) {
            entries += "     Certificate: " + member("certificate.name") +
                       (member("own") == "true" ? " (yours: you can decrypt this file)" : "") +
                       "\n     Status: " + member("certificate.status") + "\n";
        }
    }
    EXPECT_EQ(text.substr(head.size()), entries);
    EXPECT_EQ(json.at("recipients.0.kind"), "key transport");
    EXPECT_EQ(json.at("recipients.0.own"), "true");
    EXPECT_EQ(json.at("recipients.1.kind"), "key agreement");
    EXPECT_EQ(json.at("recipients.1.own"), "false");
    EXPECT_EQ(json.at("recipients.2.usable"), "false");

    // A failure is still text on standard error, and nothing is written to standard output.
    testing::WriteBytes(work_ / "junk", testing::RandomBytes(100));
    const ProgramResult junk = Run({"info", "--json", "junk"});
    EXPECT_EQ(junk.exitCode, 1);
    EXPECT_EQ(junk.out, "");
    EXPECT_EQ(junk.err.rfind("mirebolt-cli: ", 0), 0u) << junk.err;
}

}  // namespace
}  // namespace mirebolt
