#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/unique_fd.h"

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

// A hostile neighbour on another thread, watching a folder: each name an event of `events`
// reports goes to `act`, which says nothing until the neighbour's moment has come, and then
// whether it did what it meant to. It gives up after a minute.
class FolderNeighbour {
  public:
    using Act = std::function<std::optional<bool>(const std::string& name)>;

    FolderNeighbour(const std::string& folder, std::uint32_t events, Act act)
        : watch_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
        EXPECT_GE(::inotify_add_watch(watch_.get(), folder.c_str(), events), 0);
        thread_ = std::thread([this, act = std::move(act)] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            alignas(inotify_event) char buffer[4096];
            while (!stop_ && std::chrono::steady_clock::now() < deadline) {
                pollfd ready{watch_.get(), POLLIN, 0};
                if (::poll(&ready, 1, 20) <= 0) {
                    continue;
                }
                const ssize_t got = ::read(watch_.get(), buffer, sizeof buffer);
                for (ssize_t at = 0; at < got;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                    if (event->len > 0) {
                        if (std::optional<bool> done = act(event->name)) {
                            acted_ = *done;
                            return;
                        }
                    }
                    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                }
            }
        });
    }
    FolderNeighbour(const FolderNeighbour&) = delete;
    FolderNeighbour& operator=(const FolderNeighbour&) = delete;
    // The thread reads the folder's watch until it is joined: the watch closes after.
    ~FolderNeighbour() { Finish(); }

    // Waits for the neighbour (or stops it when it never got its chance): whether it acted.
    bool Finish() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        return acted_;
    }

  private:
    platform::UniqueFd watch_;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> acted_ = false;
    std::thread thread_;
};

// Once the command has deleted its probe file next to the output (so it has passed its question
// and its probe and is at work), plants something at the output's name while the command goes
// on; `plant` says whether it managed to.
class NeighbourAfterProbe : public FolderNeighbour {
  public:
    NeighbourAfterProbe(const std::string& folder, const std::string& probeName,
                        std::function<bool()> plant)
        : FolderNeighbour(folder, IN_DELETE,
                          [probeName, plant = std::move(plant)](
                              const std::string& name) -> std::optional<bool> {
                              if (name != probeName) {
                                  return std::nullopt;
                              }
                              return plant();
                          }) {}
};

}  // namespace mirebolt::testing
