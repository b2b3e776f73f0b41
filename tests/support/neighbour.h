#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"

namespace mirebolt::testing {

// Creates a file that must not be there yet, as a neighbour would; false when it was.
inline bool PlantFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const platform::UniqueFd file(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!file) {
        return false;
    }
    return ::write(file.get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// A hostile neighbour on another thread: once the command has deleted its probe file next to
// the output (so it has passed its question and its probe and is at work), it plants something
// at the output's name while the command goes on.
class NeighbourAfterProbe {
  public:
    // `plant` says whether it managed to.
    NeighbourAfterProbe(const std::string& folder, const std::string& probeName,
                        std::function<bool()> plant)
        : watch_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
        EXPECT_GE(::inotify_add_watch(watch_.get(), folder.c_str(), IN_DELETE), 0);
        thread_ = std::thread([this, probeName, plant = std::move(plant)] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            alignas(inotify_event) char events[4096];
            while (!stop_ && std::chrono::steady_clock::now() < deadline) {
                pollfd ready{watch_.get(), POLLIN, 0};
                if (::poll(&ready, 1, 50) <= 0) {
                    continue;
                }
                const ssize_t got = ::read(watch_.get(), events, sizeof events);
                for (ssize_t at = 0; at < got;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                    if (event->len > 0 && probeName == event->name) {
                        planted_ = plant();
                        return;
                    }
                    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                }
            }
        });
    }
    NeighbourAfterProbe(const NeighbourAfterProbe&) = delete;
    NeighbourAfterProbe& operator=(const NeighbourAfterProbe&) = delete;
    // The thread reads the folder's watch until it is joined: the watch closes after.
    ~NeighbourAfterProbe() { Finish(); }

    // Waits for the neighbour (or stops it when it never got its chance): whether it planted.
    bool Finish() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        return planted_;
    }

  private:
    platform::UniqueFd watch_;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> planted_ = false;
    std::thread thread_;
};

}  // namespace mirebolt::testing
