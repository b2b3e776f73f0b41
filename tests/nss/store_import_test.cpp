// Importing a PKCS #12 file: a folder made for the store is the owner's alone, and one that was
// there already keeps the rights it had.
#include <gtest/gtest.h>

#include <filesystem>

#include "nss/pkcs12_iterations.h"
#include "nss/store_import.h"
#include "support/commands.h"
#include "support/test_files.h"

namespace mirebolt::platform {
namespace {

// The fixture's file password; a new store without a password.
class FixturePrompts final : public ImportPrompts {
  public:
    std::optional<Secret> AskFilePassword(bool retry) override {
        return retry ? std::nullopt : std::optional<Secret>(Secret("fixture"));
    }
    std::optional<Secret> AskNewStorePassword() override { return Secret(""); }
    std::optional<Secret> AskStorePassword(bool /*retry*/) override { return std::nullopt; }
};

std::filesystem::perms RightsOf(const std::filesystem::path& path) {
    return std::filesystem::status(path).permissions() & std::filesystem::perms::all;
}

TEST(StoreImport, AFolderThatWasThereKeepsItsRightsAndANewOneIsTheOwnersAlone) {
    const testing::Bytes carol = testing::ReadBytes(testing::FixturePath("carol.p12"));
    testing::TempDir dir;
    const std::filesystem::path existing = dir.path() / "shared";
    std::filesystem::create_directory(existing);
    std::filesystem::permissions(existing, std::filesystem::perms(0755));
    FixturePrompts prompts;
    Result<ImportOutcome> into = ImportPkcs12(existing.string(), carol, prompts);
    ASSERT_TRUE(into) << into.failure().text;
    EXPECT_TRUE(into->storeCreated);
    EXPECT_EQ(RightsOf(existing), std::filesystem::perms(0755));

    const std::filesystem::path made = dir.path() / "new" / "nssdb";
    Result<ImportOutcome> fresh = ImportPkcs12(made.string(), carol, prompts);
    ASSERT_TRUE(fresh) << fresh.failure().text;
    EXPECT_EQ(RightsOf(made), std::filesystem::perms::owner_all);
}

// The counts of the key's and the certificates' encryption are found, not only the MAC's: a file
// without MAC iterations asks for the bags' 5000.
TEST(StoreImport, TheIterationsOfEveryPartReadableWithoutThePasswordAreCounted) {
    testing::TempDir dir;
    const std::string file = dir / "bags.p12";
    const auto made = testing::RunCommand({"openssl", "pkcs12", "-export", "-in",
                                           testing::FixturePath("carol.pem"), "-inkey",
                                           testing::FixturePath("carol.key"), "-iter", "5000",
                                           "-nomaciter", "-passout", "pass:fixture", "-out", file});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_EQ(LargestPkcs12IterationCount(testing::ReadBytes(file)), 5000u);
    EXPECT_EQ(LargestPkcs12IterationCount(testing::ReadBytes(testing::FixturePath("random.der"))),
              0u);
}

}  // namespace
}  // namespace mirebolt::platform
