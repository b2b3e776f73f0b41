#include "protection/output_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/error_text.h"

namespace mirebolt::protection {

namespace {

constexpr int kTemporaryNames = 100;
constexpr std::size_t kNamePrefix = 200;  // keeps the temporary name within the system's limit

// Every failure here is the writing's, whatever step of it failed.
Failure OutputFailure(int error) {
    return ArisingFrom(FailureOrigin::Output, platform::SystemFailure(error));
}

Failure NameChanged() {
    return Failure{static_cast<std::uint32_t>(EEXIST),
                   "The output's name no longer holds what it held when it was checked.",
                   FailureOrigin::Output};
}

// The folder part and the last part of a name; the folder is the current one when none is given.
std::pair<std::string, std::string> SplitName(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    if (slash == std::string::npos) {
        return {".", name};
    }
    return {slash == 0 ? "/" : name.substr(0, slash), name.substr(slash + 1)};
}

// A name nobody could have guessed in advance, hidden, and telling whose output it becomes.
std::string TemporaryName(const std::string& name) {
    unsigned char random[6] = {};
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        return {};
    }
    std::string text = "." + name.substr(0, kNamePrefix) + ".";
    for (unsigned char byte : random) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        text += hex;
    }
    return text + ".part";
}

mode_t CurrentUmask() {
    // Read without changing it: another thread may be creating files meanwhile.
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        unsigned int mask = 0;
        char line[256];
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status) != nullptr) {
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        }
        std::fclose(status);
        if (found) {
            return static_cast<mode_t>(mask);
        }
    }
    // Setting the mask to read it back would race with those threads: without the system's
    // word, the output is the owner's alone.
    return 077;
}

// Gives the temporary file the name, which must still be free: a link or file that appeared
// there meanwhile is never replaced.
int RenameOntoFreeName(int folder, const std::string& from, const std::string& to) {
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without that rename: a hard link is refused just as surely when the name
    // is taken.
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) != 0) {
        return errno;
    }
    ::unlinkat(folder, from.c_str(), 0);
    return 0;
}

}  // namespace

Result<OutputFile> OutputFile::Open(const std::string& name, Access access, NameState expected,
                                    std::optional<FileIdentity> mustNotBe) {
    if (expected.kind == NameState::Kind::Other) {
        return OutputFailure(EEXIST);
    }
    if (mustNotBe && expected.kind == NameState::Kind::RegularFile &&
        expected.identity == *mustNotBe) {
        return Failure{static_cast<std::uint32_t>(EINVAL),
                       "The output would overwrite the file that is being read.",
                       FailureOrigin::Output};
    }
    auto [folderName, lastPart] = SplitName(name);
    if (lastPart.empty() || lastPart == "." || lastPart == "..") {
        return OutputFailure(EISDIR);
    }
    OutputFile output;
    output.folder_ =
        platform::UniqueFd(::open(folderName.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!output.folder_) {
        return OutputFailure(errno);
    }
    output.name_ = std::move(lastPart);
    output.expected_ = expected;
    output.access_ = access;
    if (NameState::Of(output.name_, output.folder_.get()) != expected) {
        return NameChanged();
    }
    for (int attempt = 0; attempt < kTemporaryNames && !output.file_; ++attempt) {
        std::string temporary = TemporaryName(output.name_);
        if (temporary.empty()) {
            return OutputFailure(errno);
        }
        // Created new, for the owner only until it is complete, never through a link.
        output.file_ = platform::UniqueFd(
            ::openat(output.folder_.get(), temporary.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (output.file_) {
            output.temporary_ = std::move(temporary);
        } else if (errno != EEXIST) {
            return OutputFailure(errno);
        }
    }
    if (!output.file_) {
        return OutputFailure(EEXIST);
    }
    return output;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : folder_(std::move(other.folder_)),
      file_(std::move(other.file_)),
      name_(std::move(other.name_)),
      temporary_(std::exchange(other.temporary_, {})),
      expected_(other.expected_),
      access_(other.access_),
      writeFailed_(other.writeFailed_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        Discard();
        folder_ = std::move(other.folder_);
        file_ = std::move(other.file_);
        name_ = std::move(other.name_);
        temporary_ = std::exchange(other.temporary_, {});
        expected_ = other.expected_;
        access_ = other.access_;
        writeFailed_ = other.writeFailed_;
    }
    return *this;
}

OutputFile::~OutputFile() {
    Discard();
}

void OutputFile::Discard() {
    file_.Reset();
    if (!temporary_.empty()) {
        ::unlinkat(folder_.get(), std::exchange(temporary_, {}).c_str(), 0);
    }
}

Status OutputFile::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(file_.get(), bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            writeFailed_ = true;
            return OutputFailure(written < 0 ? errno : EIO);
        }
        done += static_cast<std::size_t>(written);
    }
    return {};
}

Status OutputFile::Commit() {
    if (writeFailed_ || temporary_.empty()) {
        return OutputFailure(EIO);
    }
    // A name that changed is found before the wait for the disk, and again right before the
    // rename.
    struct stat replaced {};
    if (NameState::Of(name_, folder_.get(), &replaced) != expected_) {
        return NameChanged();
    }
    if (::fsync(file_.get()) != 0) {
        return OutputFailure(errno);
    }
    const bool replacing = expected_.kind == NameState::Kind::RegularFile;
    if (replacing) {
        // The owner first: changing it would clear bits that the mode then sets again.
        if (::fchown(file_.get(), replaced.st_uid, replaced.st_gid) != 0) {
            if (errno != EPERM) {
                return OutputFailure(errno);
            }
            // Only a privileged process may give a file away; the group alone may still be
            // one of the user's own. A refusal of either is no failure.
            if (::fchown(file_.get(), static_cast<uid_t>(-1), replaced.st_gid) != 0 &&
                errno != EPERM) {
                return OutputFailure(errno);
            }
        }
    }
    const mode_t mode = replacing                   ? replaced.st_mode & 0777
                        : access_ == Access::Shared ? 0666 & ~CurrentUmask()
                                                    : 0600;
    if (::fchmod(file_.get(), mode) != 0) {
        return OutputFailure(errno);
    }
    if (const int closed = file_.Close(); closed != 0) {
        return OutputFailure(closed);
    }
    // A file or link that appeared at a free name, or a file that replaced the one the person
    // was asked about, is left where it is.
    if (replacing) {
        if (NameState::Of(name_, folder_.get()) != expected_) {
            return NameChanged();
        }
        if (::renameat(folder_.get(), temporary_.c_str(), folder_.get(), name_.c_str()) != 0) {
            return OutputFailure(errno);
        }
    } else if (const int error = RenameOntoFreeName(folder_.get(), temporary_, name_); error != 0) {
        return error == EEXIST ? NameChanged() : OutputFailure(error);
    }
    temporary_.clear();
    // The rename itself reaches the disk with the folder; the file is complete either way.
    platform::UniqueFd folder(::openat(folder_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) {
        ::fsync(folder.get());
    }
    return {};
}

}  // namespace mirebolt::protection
