// Messages that openssl cms writes, each opened by every recipient's key alone, in every form
// openssl writes them (DER, streamed BER, PEM and S/MIME) and in forms of BER it reads but does
// not write: every OCTET STRING and name string in chunks, lengths in nine octets, and tag
// numbers above 30 in an element passed over; and the armour of other writers.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/envelope_helpers.h"

namespace mirebolt::platform {
namespace {

using testing::Bytes;
using testing::Describe;

struct PeerMessage {
    const char* name;
    std::vector<const char*> holders;  // whose store holds a key that must open it
    // Whether it also comes in the BER forms rewritten from its DER: authenticated attributes
    // must stay DER, which those forms would change.
    bool rewritten = true;
};

std::string PeerPath(const std::string& file) {
    return std::string(MIREBOLT_PEER_MESSAGES) + "/" + file;
}

// Test names allow letters, digits and underscores only.
std::string TestName(std::string name) {
    for (char& c : name) {
        if (c == '-') {
            c = '_';
        }
    }
    return name;
}

void PrintTo(const PeerMessage& message, std::ostream* out) {
    *out << message.name;
}

class ReaderInterop : public ::testing::TestWithParam<PeerMessage> {
  protected:
    // One copy of each holder's store for the whole suite: copying a database costs more than
    // opening a small message.
    static PersonalStore& StoreOf(const std::string& holder) {
        std::unique_ptr<testing::StoreCopy>& copy = stores_[holder];
        if (!copy) {
            copy = std::make_unique<testing::StoreCopy>("store-" + holder);
        }
        return copy->store();
    }
    static void TearDownTestSuite() { stores_.clear(); }

    static inline std::map<std::string, std::unique_ptr<testing::StoreCopy>> stores_;
};

TEST_P(ReaderInterop, EachHolderAloneOpensEveryForm) {
    const Bytes plain = testing::ReadBytes(PeerPath("plain"));
    ASSERT_EQ(plain.size(), 20'000u);
    std::vector<std::string> forms{".der", ".ber", ".pem", ".smime"};
    if (GetParam().rewritten) {
        forms.insert(forms.end(), {".chunks", ".long", ".hightag"});
    }
    for (const std::string& form : forms) {
        const Bytes message = testing::ReadBytes(PeerPath(GetParam().name + form));
        ASSERT_FALSE(message.empty()) << form;
        for (const char* holder : GetParam().holders) {
            auto opened = testing::Unseal(message, StoreOf(holder));
            if (!opened) {
                ADD_FAILURE() << form << " for " << holder << ": " << Describe(opened.failure());
                continue;
            }
            EXPECT_TRUE(*opened == plain) << form << " for " << holder << ": content differs";
        }
    }
}

// Key agreement on each curve with the default (SHA-1) and two other key derivations; the
// remaining hashes; the cofactor scheme with every hash; user keying material; the Triple DES
// key wrap.
INSTANTIATE_TEST_SUITE_P(
    KeyAgreement, ReaderInterop,
    ::testing::Values(
        PeerMessage{"ec-p256-default", {"erin"}}, PeerMessage{"ec-p256-sha256", {"erin"}},
        PeerMessage{"ec-p256-sha384", {"erin"}}, PeerMessage{"ec-p384-default", {"hana"}},
        PeerMessage{"ec-p384-sha256", {"hana"}}, PeerMessage{"ec-p384-sha384", {"hana"}},
        PeerMessage{"ec-p521-default", {"ivan"}}, PeerMessage{"ec-p521-sha256", {"ivan"}},
        PeerMessage{"ec-p521-sha384", {"ivan"}}, PeerMessage{"ec-p256-sha224", {"erin"}},
        PeerMessage{"ec-p521-sha512", {"ivan"}}, PeerMessage{"ec-p256-cofactor-sha1", {"erin"}},
        PeerMessage{"ec-p384-cofactor-sha224", {"hana"}},
        PeerMessage{"ec-p256-cofactor-sha256", {"erin"}},
        PeerMessage{"ec-p384-cofactor-sha384", {"hana"}},
        PeerMessage{"ec-p521-cofactor-sha512", {"ivan"}}, PeerMessage{"ec-p256-ukm", {"erin"}},
        PeerMessage{"ec-p256-des3", {"erin"}}),
    [](const auto& info) { return TestName(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    KeyTransport, ReaderInterop,
    ::testing::Values(PeerMessage{"oaep-sha1", {"alice"}}, PeerMessage{"oaep-sha256", {"alice"}},
                      PeerMessage{"oaep-label", {"alice"}}, PeerMessage{"keyid-rsa", {"alice"}},
                      PeerMessage{"keyid-ec", {"erin"}}, PeerMessage{"keyid-kira", {"kira"}},
                      PeerMessage{"rsa-4096", {"jack"}}),
    [](const auto& info) { return TestName(info.param.name); });

INSTANTIATE_TEST_SUITE_P(AuthenticatedContent, ReaderInterop,
                         ::testing::Values(PeerMessage{"gcm-aes128", {"alice"}},
                                           PeerMessage{"gcm-aes192", {"alice"}},
                                           PeerMessage{"gcm-aes256", {"alice", "erin"}},
                                           PeerMessage{"gcm-attributes", {"alice"}, false}),
                         [](const auto& info) { return TestName(info.param.name); });

// RSA, EC, password and symmetric key-encryption-key entries side by side: the entries this
// program cannot use must not keep either key holder out.
INSTANTIATE_TEST_SUITE_P(EveryRecipientKind, ReaderInterop,
                         ::testing::Values(PeerMessage{"mixed", {"alice", "erin"}}),
                         [](const auto& info) { return TestName(info.param.name); });

std::string PeerText(const std::string& file) {
    const Bytes bytes = testing::ReadBytes(PeerPath(file));
    return std::string(bytes.begin(), bytes.end());
}

Bytes AsBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The base64 lines of openssl's PEM form of the mixed message, for headers of other writers.
std::string MixedBody() {
    const std::string pem = PeerText("mixed.pem");
    const std::size_t start = pem.find('\n') + 1;
    return pem.substr(start, pem.find("-----END") - start);
}

// The armour and S/MIME headers other writers put around a message, each opened byte for byte:
// gpgsm's label, PEM after text, S/MIME as openssl smime and python's email write it, and the
// header syntax mail allows (names in any case, white space around the colon, folded lines,
// comments, quoted parameters), whatever the line ends.
TEST(ReaderInteropArmour, EveryWritersArmourOpens) {
    const std::string body = MixedBody();
    struct Armoured {
        const char* what;
        std::string text;
        const char* plain;  // the content it holds
    };
    const Armoured cases[] = {
        {"gpgsm --armor", PeerText("gpgsm-armour.asc"), "plain"},
        {"PEM after text",
         "A message for Alice, made with openssl cms:\n\n" + PeerText("mixed.pem"), "plain"},
        {"openssl smime", PeerText("smime-x.smime"), "plain"},
        {"python email", PeerText("python-email.smime"), "plain"},
        {"python email for SMTP", PeerText("python-smtp.smime"), "plain"},
        {"python email under a mail's header", PeerText("python-mail.smime"), "plain"},
        {"no space after the colon",
         "Content-Type: application/pkcs7-mime; smime-type=enveloped-data\n"
         "Content-Transfer-Encoding:base64\n\n" +
             body,
         "plain"},
        {"capitals and white space around the colon",
         "MIME-VERSION: 1.0\r\nCONTENT-TYPE :Application/PKCS7-MIME; SMIME-TYPE=Enveloped-Data\r\n"
         "content-transfer-encoding :  BASE64 \r\n\r\n" +
             body,
         "plain"},
        {"folded, commented and quoted",
         "MIME-Version: 1.0 (produced by a mail client)\r\nContent-Type: application/pkcs7-mime;"
         "\r\n\tname=\"a; smime-type=signed-data.p7m\";\r\n\tsmime-type=\"enveloped-data\"\r\n"
         "Content-Transfer-Encoding: (of course) base64\r\n\r\n" +
             body,
         "plain"},
    };
    testing::StoreCopy alices("store-alice");
    for (const Armoured& each : cases) {
        auto opened = testing::Unseal(AsBytes(each.text), alices.store());
        if (!opened) {
            ADD_FAILURE() << each.what << ": " << Describe(opened.failure());
            continue;
        }
        EXPECT_TRUE(*opened == testing::ReadBytes(PeerPath(each.plain))) << each.what;
    }

    // Headers that say the body is something else are believed.
    const std::string smime = "Content-Type: application/pkcs7-mime; smime-type=";
    const std::pair<std::string, const char*> refused[] = {
        {smime + "enveloped-data\nContent-Transfer-Encoding: quoted-printable\n\n",
         "not in base64"},
        {smime + "enveloped-data\nX-Content-Transfer-Encoding: base64\n\n", "not in base64"},
        {smime + "signed-data\nContent-Transfer-Encoding: base64\n\n", "is not encrypted"},
    };
    for (const auto& [header, text] : refused) {
        auto opened = testing::Unseal(AsBytes(header + body), alices.store());
        ASSERT_FALSE(opened) << header;
        EXPECT_NE(opened.failure().text.find(text), std::string::npos)
            << header << Describe(opened.failure());
    }
}

TEST(ReaderInteropOutsider, AKeyTheMessageDoesNotNameOpensNothing) {
    testing::StoreCopy bobs("store-bob");
    for (const char* form : {".der", ".ber", ".pem", ".smime"}) {
        const Bytes message = testing::ReadBytes(PeerPath(std::string("mixed") + form));
        auto opened = testing::Unseal(message, bobs.store());
        EXPECT_FALSE(opened) << form;
    }
}

}  // namespace
}  // namespace mirebolt::platform
