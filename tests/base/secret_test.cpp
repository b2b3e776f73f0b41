#include "base/secret.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

// This program gives the allocator back through its own operator delete, which looks into every
// block before freeing it: while a scan is on, a freed block that still holds the watched text
// is a copy that outlived its owner.
namespace {

std::atomic<const char*> watchedText{nullptr};
std::atomic<int> freedCopies{0};

void ScanAndFree(void* block) noexcept {
    const char* text = watchedText.load();
    if (block != nullptr && text != nullptr) {
        const std::size_t size = malloc_usable_size(block);
        if (memmem(block, size, text, std::strlen(text)) != nullptr) {
            ++freedCopies;
        }
    }
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    ScanAndFree(block);
}
void operator delete(void* block, std::size_t) noexcept {
    ScanAndFree(block);
}

namespace mirebolt::platform {
namespace {

// Counts the freed blocks that still hold `text` while it lives.
class FreedMemoryScan {
  public:
    explicit FreedMemoryScan(const char* text) {
        freedCopies = 0;
        watchedText = text;
    }
    ~FreedMemoryScan() { watchedText = nullptr; }
    int copies() const { return freedCopies; }
};

// Built at run time, so that the text is in no block until a test puts it there.
std::string Password() {
    return std::string("correct horse ") + "battery staple";
}

TEST(Secret, CannotBeCopiedAndAMoveLeavesTheSourceEmpty) {
    static_assert(!std::is_copy_constructible_v<Secret>);
    static_assert(!std::is_copy_assignable_v<Secret>);
    Secret first("1234");
    Secret second(std::move(first));
    EXPECT_TRUE(first.empty());
    EXPECT_STREQ(first.c_str(), "");
    EXPECT_EQ(second.view(), "1234");
    Secret third("other");
    third = std::move(second);
    EXPECT_TRUE(second.empty());
    EXPECT_EQ(third.view(), "1234");
}

TEST(Secret, GrowsOneCharacterAtATimeAndStaysTerminated) {
    Secret typed;
    const std::string password = Password() + Password() + Password();
    for (char c : password) {
        typed.push_back(c);
        ASSERT_EQ(std::strlen(typed.c_str()), typed.size());
    }
    EXPECT_EQ(typed.view(), password);
    typed.Clear();
    EXPECT_TRUE(typed.empty());
    EXPECT_STREQ(typed.c_str(), "");
}

TEST(Secret, TheScanSeesAnOrdinaryStringLeftInFreedMemory) {
    const std::string password = Password();
    FreedMemoryScan scan(password.c_str());
    {
        std::string copy(password.c_str());
        copy.push_back('!');
    }
    EXPECT_GE(scan.copies(), 1) << "the scan must catch what the next test must not do";
}

TEST(Secret, LeavesNoCopyInFreedMemoryWhenGrownMovedOrDestroyed) {
    const std::string password = Password();
    FreedMemoryScan scan(password.c_str());
    {
        Secret typed;
        for (char c : password) {
            typed.push_back(c);  // every growth gives a buffer back
        }
        Secret moved(std::move(typed));
        Secret assigned(std::string_view("previous"));
        assigned = std::move(moved);
        Secret grownAgain(assigned.view());
        grownAgain.push_back('!');
        ASSERT_EQ(assigned.view(), password);
    }
    EXPECT_EQ(scan.copies(), 0);
}

}  // namespace
}  // namespace mirebolt::platform
