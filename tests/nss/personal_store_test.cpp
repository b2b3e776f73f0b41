#include "nss/personal_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <secerr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "base/unique_fd.h"
#include "support/test_files.h"

namespace mirebolt::platform {
namespace {

struct Listed {
    std::string name;
    bool own;
    bool operator==(const Listed&) const = default;
};

std::vector<Listed> List(const PersonalStore& store) {
    std::vector<Listed> listed;
    for (const StoreCertificate& entry : store.PickerCertificates()) {
        listed.push_back({SubjectDisplayName(entry.certificate), entry.ownKey});
    }
    return listed;
}

TEST(PersonalStore, ListsOwnCertificatesFirstAndNoAuthorities) {
    testing::StoreCopy copy("store-alice");
    EXPECT_EQ(List(copy.store()), (std::vector<Listed>{
                                      {"Alice Archer", true},
                                      {"Bob Baker", false},
                                      {"Frank Signer", false},
                                  }));
}

TEST(PersonalStore, ListingAPasswordProtectedStoreAsksNothing) {
    // No prompt is handed over, so a listing that needed the password would find no key.
    testing::StoreCopy copy("store-carol");
    EXPECT_EQ(List(copy.store()), (std::vector<Listed>{{"Carol Cooper", true}}));
}

TEST(PersonalStore, AMissingDatabaseIsAnEmptyStore) {
    testing::TempDir dir;
    for (const std::string& folder : {dir / "absent", dir.path().string()}) {
        auto store = PersonalStore::Open(folder);
        ASSERT_TRUE(store) << folder;
        EXPECT_FALSE(store->hasDatabase());
        EXPECT_TRUE(store->PickerCertificates().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "absent")) << "opening must create nothing";
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(PersonalStore, AnUnusableDatabaseFailsToOpen) {
    testing::TempDir dir;
    std::filesystem::copy(testing::FixturePath("store-broken"), dir / "db");
    auto store = PersonalStore::Open(dir / "db");
    ASSERT_FALSE(store);
    EXPECT_NE(store.failure().code, 0u);
    EXPECT_FALSE(store.failure().text.empty());
    EXPECT_EQ(store.failure().origin, FailureOrigin::Store);
}

TEST(PersonalStore, AStoreFileThatIsNoRegularFileFailsAtOnce) {
    for (const char* name : {"cert9.db", "key4.db", "cert9.db-journal", "pkcs11.txt"}) {
        testing::StoreFolder folder("store-alice");
        const std::string file = folder.directory() + "/" + name;
        std::filesystem::remove(file);
        ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);

        std::promise<bool> opened;
        std::future<bool> outcome = opened.get_future();
        std::thread opener([&] { opened.set_value(PersonalStore::Open(folder.directory()).ok()); });
        const bool finished =
            outcome.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        if (!finished) {
            // Frees a reader stuck on the pipe, so that the test can end: a writer that opens
            // and closes is enough.
            const UniqueFd writer(::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        }
        opener.join();
        EXPECT_TRUE(finished) << name << " kept the store waiting";
        EXPECT_FALSE(outcome.get()) << name;
    }
    testing::StoreFolder folder("store-alice");
    std::filesystem::remove(folder.directory() + "/key4.db");
    std::filesystem::create_directory(folder.directory() + "/key4.db");
    auto store = PersonalStore::Open(folder.directory());
    ASSERT_FALSE(store);
    EXPECT_EQ(store.failure().origin, FailureOrigin::Store);
}

TEST(PersonalStore, IsNeverWritten) {
    testing::StoreCopy copy("store-alice");
    auto before = testing::ReadBytes(copy.directory() + "/cert9.db");
    auto keysBefore = testing::ReadBytes(copy.directory() + "/key4.db");
    {
        auto again = PersonalStore::Open(copy.directory());
        ASSERT_TRUE(again);
        List(*again);
    }
    EXPECT_EQ(testing::ReadBytes(copy.directory() + "/cert9.db"), before);
    EXPECT_EQ(testing::ReadBytes(copy.directory() + "/key4.db"), keysBefore);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(copy.directory())) {
        ++files;
    }
    EXPECT_EQ(files, 3u) << "cert9.db, key4.db and pkcs11.txt, nothing more";
}

TEST(PersonalStore, OpensFromAFolderWhoseNameNeedsQuoting) {
    testing::TempDir dir;
    const std::string folder = dir / "it's a \\ store";
    std::filesystem::copy(testing::FixturePath("store-alice"), folder);
    auto store = PersonalStore::Open(folder);
    ASSERT_TRUE(store) << store.failure().text;
    EXPECT_TRUE(store->hasDatabase());
    EXPECT_EQ(store->PickerCertificates().size(), 3u);
}

TEST(PersonalStore, DefaultDirectoryFollowsHome) {
    const char* saved = std::getenv("HOME");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(PersonalStore::DefaultDirectory(), "/home/someone/.pki/nssdb");
    ::setenv("HOME", previous.c_str(), 1);
}

}  // namespace
}  // namespace mirebolt::platform
