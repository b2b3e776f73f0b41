// A smart card registered in the personal store, on a real PKCS #11 token (SoftHSM2): its
// certificates belong to the store, its key opens messages after its PIN, and a module that
// cannot be loaded leaves the rest of the store usable.
#include <gtest/gtest.h>
#include <secerr.h>

#include <chrono>

#include "support/commands.h"
#include "support/envelope_helpers.h"
#include "support/scripted_prompt.h"
#include "support/token_store.h"

namespace mirebolt::platform {
namespace {

using testing::Bytes;
using testing::Describe;
using testing::ScriptedKeyPrompt;
using testing::TokenStore;

struct Listed {
    std::string name;
    bool ownKey;
    std::string tokenName;
    bool operator==(const Listed&) const = default;
};

std::vector<Listed> List(const PersonalStore& store) {
    std::vector<Listed> listed;
    for (const StoreCertificate& entry : store.PickerCertificates()) {
        listed.push_back({SubjectDisplayName(entry.certificate), entry.ownKey, entry.tokenName});
    }
    return listed;
}

void PrintTo(const Listed& listed, std::ostream* out) {
    *out << listed.name << (listed.ownKey ? " (own" : " (not own") << ", token '"
         << listed.tokenName << "')";
}

const std::vector<Listed> kAliceAndCarolsCard = {
    {"Alice Archer", true, ""},
    {"Carol Cooper", true, TokenStore::kTokenName},
    {"Bob Baker", false, ""},
    {"Frank Signer", false, ""},
};

// A message for Carol as another program makes it.
Bytes OpensslMessageForCarol(const testing::TempDir& folder, const Bytes& content) {
    testing::WriteBytes(folder / "content", content);
    const auto made = testing::RunCommand({"openssl", "cms", "-encrypt", "-binary", "-aes256",
                                           "-outform", "DER", "-in", folder / "content", "-out",
                                           folder / "message", testing::FixturePath("carol.pem")});
    EXPECT_EQ(made.exitCode, 0) << made.output;
    return testing::ReadBytes(folder / "message");
}

class TokenInStore : public ::testing::Test {
  protected:
    void SetUp() override {
        message_ = OpensslMessageForCarol(work_, content_);
        before_ = token_.DatabaseFiles();
    }
    void TearDown() override {
        EXPECT_EQ(token_.DatabaseFiles(), before_) << "the store's files must stay untouched";
    }

    TokenStore token_;
    testing::TempDir work_;
    Bytes content_ = testing::RandomBytes(7000);
    Bytes message_;
    std::map<std::string, Bytes> before_;
};

TEST_F(TokenInStore, ListsTheCardsCertificateAsTheUsersOwnWithTheTokensName) {
    auto store = PersonalStore::Open(token_.directory());
    ASSERT_TRUE(store) << store.failure().text;
    EXPECT_TRUE(store->unloadedModules().empty());
    EXPECT_EQ(List(*store), kAliceAndCarolsCard);
}

TEST_F(TokenInStore, OpensAMessageForTheCardAfterAskingForItsPin) {
    auto store = PersonalStore::Open(token_.directory());
    ASSERT_TRUE(store);
    ScriptedKeyPrompt prompt({TokenStore::kPin});
    auto opened = testing::Unseal(message_, *store, &prompt);
    ASSERT_TRUE(opened) << Describe(opened.failure());
    EXPECT_EQ(*opened, content_);
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(prompt.lastToken, TokenStore::kTokenName);
}

TEST_F(TokenInStore, AWrongPinFailsAsWrongOnceTheAnswersRunOut) {
    auto store = PersonalStore::Open(token_.directory());
    ASSERT_TRUE(store);
    ScriptedKeyPrompt prompt({"1111", "2222", "3333"});
    auto opened = testing::Unseal(message_, *store, &prompt);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.failure().code, testing::NssCode(SEC_ERROR_BAD_PASSWORD))
        << Describe(opened.failure());
    EXPECT_EQ(prompt.asked, KeyAccessSession::kMaxAnswers);
    EXPECT_TRUE(prompt.lastRetry);

    // The card is not locked by it: the right PIN still opens the message.
    ScriptedKeyPrompt right({TokenStore::kPin});
    EXPECT_TRUE(testing::Unseal(message_, *store, &right));
}

TEST_F(TokenInStore, AWrongPinFromAFileIsTriedOnce) {
    auto store = PersonalStore::Open(token_.directory());
    ASSERT_TRUE(store);
    ScriptedKeyPrompt prompt({"1111"}, true);
    auto opened = testing::Unseal(message_, *store, &prompt);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.failure().code, testing::NssCode(SEC_ERROR_BAD_PASSWORD))
        << Describe(opened.failure());
    EXPECT_EQ(prompt.asked, 1) << "the same wrong PIN again would only use up the card's tries";

    ScriptedKeyPrompt right({TokenStore::kPin}, true);
    EXPECT_TRUE(testing::Unseal(message_, *store, &right));
}

TEST_F(TokenInStore, CancellingThePromptFailsAsCancelled) {
    auto store = PersonalStore::Open(token_.directory());
    ASSERT_TRUE(store);
    ScriptedKeyPrompt prompt({std::nullopt});
    auto opened = testing::Unseal(message_, *store, &prompt);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.failure().code, testing::NssCode(SEC_ERROR_USER_CANCELLED))
        << Describe(opened.failure());
    EXPECT_EQ(prompt.asked, 1);
}

TEST_F(TokenInStore, AMessageForAKeyInTheDatabaseAsksForNoPin) {
    auto store = PersonalStore::Open(token_.directory());
    ASSERT_TRUE(store);
    Certificate alice = testing::FixtureCertificate("alice.pem");
    auto message = testing::Seal(platform::ContentAlgorithm::Aes256Cbc, {&alice}, content_);
    ASSERT_TRUE(message);
    ScriptedKeyPrompt prompt;
    auto opened = testing::Unseal(*message, *store, &prompt);
    ASSERT_TRUE(opened) << Describe(opened.failure());
    EXPECT_EQ(*opened, content_);
    EXPECT_EQ(prompt.asked, 0);
}

TEST_F(TokenInStore, TheCardIsOnlyThereWhileAStoreThatRegistersItIsOpen) {
    {
        auto first = PersonalStore::Open(token_.directory());
        auto second = PersonalStore::Open(token_.directory());
        ASSERT_TRUE(first && second);
        EXPECT_EQ(List(*second), kAliceAndCarolsCard);
        *first = PersonalStore::Open(testing::FixturePath("store-bob")).value();
        EXPECT_EQ(List(*second), kAliceAndCarolsCard) << "the card belongs to both stores";
        ScriptedKeyPrompt prompt({TokenStore::kPin});
        EXPECT_TRUE(testing::Unseal(message_, *second, &prompt));
    }
    testing::StoreCopy alices("store-alice");
    EXPECT_EQ(List(alices.store()).size(), 3u) << "a store without the module lists no card";
    auto opened = testing::Unseal(message_, alices.store());
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.failure().code, testing::NssCode(SEC_ERROR_NOT_A_RECIPIENT));
}

TEST_F(TokenInStore, ACardTakenOutIsAPlainFailureNotAWait) {
    auto store = PersonalStore::Open(token_.directory());
    ASSERT_TRUE(store);
    ASSERT_EQ(List(*store), kAliceAndCarolsCard);
    token_.RemoveCard();
    const auto started = std::chrono::steady_clock::now();
    ScriptedKeyPrompt prompt({TokenStore::kPin});
    auto opened = testing::Unseal(message_, *store, &prompt);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.failure().code, testing::NssCode(SEC_ERROR_NOT_A_RECIPIENT))
        << Describe(opened.failure());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// NSS looks for the key where it finds the certificate first, the database, and logs into no
// card from there.
TEST(TokenCopies, ACertificateAlsoInTheDatabaseIsOpenedWithTheCardsKey) {
    TokenStore token(TokenStore::Extra::CertificateInDatabase);
    auto store = PersonalStore::Open(token.directory());
    ASSERT_TRUE(store) << store.failure().text;
    EXPECT_EQ(List(*store), kAliceAndCarolsCard);
    testing::TempDir work;
    const Bytes content = testing::RandomBytes(3000);
    ScriptedKeyPrompt prompt({TokenStore::kPin});
    auto opened = testing::Unseal(OpensslMessageForCarol(work, content), *store, &prompt);
    ASSERT_TRUE(opened) << Describe(opened.failure());
    EXPECT_EQ(*opened, content);
    EXPECT_EQ(prompt.asked, 1);
}

TEST(TokenModules, ModulesThatCannotBeLoadedLeaveTheRestOfTheStore) {
    TokenStore token(TokenStore::Extra::MissingLibrary);
    auto store = PersonalStore::Open(token.directory());
    ASSERT_TRUE(store) << store.failure().text;
    ASSERT_EQ(store->unloadedModules().size(), 2u);
    EXPECT_EQ(store->unloadedModules()[0].name, "Gone Reader");
    EXPECT_EQ(store->unloadedModules()[1].name, "Broken Reader");
    EXPECT_EQ(List(*store), kAliceAndCarolsCard);
}

}  // namespace
}  // namespace mirebolt::platform
