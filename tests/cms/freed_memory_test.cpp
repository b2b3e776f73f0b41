// After a message is opened, none of its plaintext may be found in memory the process gave
// back to the allocator: such memory is handed out again unwiped and ends up in core dumps.
// This program replaces free() and realloc() with versions that look through each block as it
// is given back, then hand it to the C library's own allocator.
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "asn1/ber_stream.h"
#include "base/unique_fd.h"
#include "support/commands.h"
#include "support/envelope_helpers.h"

extern "C" {
void __libc_free(void* block);
void* __libc_realloc(void* block, std::size_t size);
}

namespace {

constexpr char kMarker[] = "FREED-MEMORY-MARKER-LINE-";
constexpr std::size_t kMarkerLength = sizeof kMarker - 1;

std::atomic<bool> watching{false};
std::atomic<std::uint64_t> markersFound{0};
std::atomic<std::uint64_t> blocksWithMarkers{0};

// Counts the marker's occurrences in a block being given back; allocates nothing.
void Inspect(void* block) {
    if (block == nullptr || !watching.load(std::memory_order_relaxed)) {
        return;
    }
    const auto* bytes = static_cast<const char*>(block);
    const std::size_t size = malloc_usable_size(block);
    std::uint64_t found = 0;
    for (const char* at = bytes; size - static_cast<std::size_t>(at - bytes) >= kMarkerLength;) {
        const void* hit =
            memmem(at, size - static_cast<std::size_t>(at - bytes), kMarker, kMarkerLength);
        if (hit == nullptr) {
            break;
        }
        ++found;
        at = static_cast<const char*>(hit) + kMarkerLength;
    }
    if (found != 0) {
        markersFound += found;
        ++blocksWithMarkers;
    }
}

}  // namespace

extern "C" void free(void* block) {
    Inspect(block);
    __libc_free(block);
}

extern "C" void* realloc(void* block, std::size_t size) {
    // The old block may be given back, with whatever it held.
    Inspect(block);
    return __libc_realloc(block, size);
}

namespace mirebolt::platform {
namespace {

using testing::Bytes;

// Memory outside the allocator, for the test's own copies of the plaintext.
class MappedBytes {
  public:
    explicit MappedBytes(std::size_t size)
        : size_(size),
          data_(static_cast<std::uint8_t*>(
              ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))) {}
    MappedBytes(const MappedBytes&) = delete;
    MappedBytes& operator=(const MappedBytes&) = delete;
    ~MappedBytes() { ::munmap(data_, size_); }
    std::span<std::uint8_t> span() const { return {data_, size_}; }

  private:
    std::size_t size_;
    std::uint8_t* data_;
};

// Content into memory the allocator never sees.
class SpanSink final : public ByteSink {
  public:
    explicit SpanSink(std::span<std::uint8_t> out) : out_(out) {}
    Status Write(std::span<const std::uint8_t> bytes) override {
        if (bytes.size() > out_.size() - used_) {
            return Failure{0, "more content than room"};
        }
        std::copy(bytes.begin(), bytes.end(), out_.begin() + static_cast<std::ptrdiff_t>(used_));
        used_ += bytes.size();
        return {};
    }

  private:
    std::span<std::uint8_t> out_;
    std::size_t used_ = 0;
};

class FreedMemory : public ::testing::TestWithParam<std::vector<std::string>> {
  protected:
    static constexpr std::size_t kLines = 40'000;  // about 1.3 MB
    static constexpr std::size_t kLineLength = kMarkerLength + 8;

    // Writes the content to a file, from mapped memory, and a message of it from openssl.
    void SetUp() override {
        content_.emplace(kLines * kLineLength);
        char* text = reinterpret_cast<char*>(content_->span().data());
        for (std::size_t i = 0; i < kLines; ++i) {
            std::memcpy(text + i * kLineLength, kMarker, kMarkerLength);
            std::snprintf(text + i * kLineLength + kMarkerLength, 9, "%07zu", i);
            text[(i + 1) * kLineLength - 1] = '\n';
        }
        const platform::UniqueFd plain(
            ::open((dir_ / "plain").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        ASSERT_TRUE(plain);
        ASSERT_EQ(::write(plain.get(), text, content_->span().size()),
                  static_cast<ssize_t>(content_->span().size()));
        std::vector<std::string> command{"openssl", "cms",          "-encrypt", "-binary",
                                         "-in",     dir_ / "plain", "-out",     dir_ / "message"};
        command.insert(command.end(), GetParam().begin(), GetParam().end());
        command.push_back(testing::FixturePath("alice.pem"));
        auto run = testing::RunCommand(command);
        ASSERT_EQ(run.exitCode, 0) << run.output;
    }

    testing::TempDir dir_;
    std::optional<MappedBytes> content_;
};

// The scan sees what the program gives back, through operator delete as through free(): were it
// to see nothing, the test below would pass whatever the reader left behind.
TEST(FreedMemoryScan, FindsPlaintextInABlockGivenBack) {
    markersFound = 0;
    watching = true;
    {
        // Large enough for the allocator to map it on its own and unmap it when given back, so
        // that no copy of the lines stays in the heap for the tests after this one to find.
        std::string lines;
        lines.reserve(4 << 20);
        for (int i = 0; i < 100; ++i) {
            lines.append(kMarker).append("0000000\n");  // no temporary copies
        }
    }
    watching = false;
    EXPECT_EQ(markersFound.load(), 100u);
}

TEST_P(FreedMemory, HoldsNoPlaintextAfterAMessageIsOpened) {
    const Bytes message = testing::ReadBytes(dir_ / "message");
    MappedBytes out(content_->span().size() + 64);
    std::uint64_t length = 0;
    markersFound = 0;
    blocksWithMarkers = 0;
    watching = true;
    {
        testing::StoreCopy alices("store-alice");
        MemorySource source(message);
        SourceStream stream(source);
        SpanSink sink(out.span());
        Result<std::uint64_t> opened = OpenEnvelope(stream, &source, alices.store(), nullptr, sink);
        length = opened ? *opened : 0;
        EXPECT_TRUE(opened) << testing::Describe(opened.failure());
    }
    watching = false;
    ASSERT_EQ(length, content_->span().size());
    EXPECT_EQ(std::memcmp(out.span().data(), content_->span().data(), length), 0);
    EXPECT_EQ(markersFound.load(), 0u)
        << "plaintext lines in " << blocksWithMarkers.load() << " freed blocks, about "
        << markersFound.load() * kLineLength << " bytes of " << length;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, FreedMemory,
    ::testing::Values(std::vector<std::string>{"-aes256", "-outform", "DER"},
                      std::vector<std::string>{"-aes256", "-stream", "-outform", "DER"},
                      std::vector<std::string>{"-aes-256-gcm", "-outform", "DER"}),
    [](const auto& info) {
        return std::string(info.index == 0 ? "Der" : info.index == 1 ? "StreamedBer" : "Gcm");
    });

}  // namespace
}  // namespace mirebolt::platform
