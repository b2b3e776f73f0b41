// Importing a PKCS #12 file: a folder made for the store is the owner's alone, and one that was
// there already keeps the rights it had.
#include <gtest/gtest.h>

#include <filesystem>

#include "nss/store_import.h"
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

}  // namespace
}  // namespace mirebolt::platform
