#include "protection/output_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "base/interruption.h"
#include "base/system_error.h"
#include "protection/file_operations.h"

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

std::optional<FileIdentity> IdentityAt(int folder, const std::string& name) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return FileIdentity{info.st_dev, info.st_ino};
}

// Gives the file without a name the name `to`, which must be free: a link or file that
// appeared there meanwhile is never replaced.
int LinkUnnamed(int file, int folder, const std::string& to) {
    char path[40];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", file);
    if (::linkat(AT_FDCWD, path, folder, to.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return 0;
    }
    const int error = errno;
    if (error != ENOENT) {
        return error;
    }
    // Without /proc, only a process that may look up any file may link a descriptor.
    return ::linkat(file, "", folder, to.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// Gives the temporary name the name `to`, which must still be free.
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
                                    std::optional<FileIdentity> mustNotBe, Temporary temporary) {
    if (expected.kind == NameState::Kind::Other) {
        return OutputFailure(EEXIST);
    }
    if (mustNotBe && expected.kind == NameState::Kind::RegularFile &&
        expected.identity == *mustNotBe) {
        return OutputIsTheInput();
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
    if (temporary == Temporary::Unnamed) {
        // For the owner only until it is complete.
        output.file_ = platform::UniqueFd(
            ::openat(output.folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        // Where the kernel or the file system has no unnamed files, a named one has to do.
        if (!output.file_ && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return OutputFailure(errno);
        }
    }
    for (int attempt = 0; attempt < kTemporaryNames && !output.file_; ++attempt) {
        std::string hidden = TemporaryName(output.name_);
        if (hidden.empty()) {
            return OutputFailure(errno);
        }
        // Created new, never through a link.
        output.file_ = platform::UniqueFd(
            ::openat(output.folder_.get(), hidden.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (output.file_) {
            output.temporary_ = std::move(hidden);
        } else if (errno != EEXIST) {
            return OutputFailure(errno);
        }
    }
    if (!output.file_) {
        return OutputFailure(EEXIST);
    }
    struct stat info {};
    if (::fstat(output.file_.get(), &info) != 0) {
        return OutputFailure(errno);
    }
    output.identity_ = FileIdentity{info.st_dev, info.st_ino};
    return output;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : folder_(std::move(other.folder_)),
      file_(std::move(other.file_)),
      identity_(other.identity_),
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
        identity_ = other.identity_;
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

bool OutputFile::TemporaryIsOurs() const {
    return IdentityAt(folder_.get(), temporary_) == identity_;
}

void OutputFile::Discard() {
    // Only what is still ours goes: a file someone put under the temporary name is theirs.
    if (!temporary_.empty() && TemporaryIsOurs()) {
        ::unlinkat(folder_.get(), temporary_.c_str(), 0);
    }
    temporary_.clear();
    file_.Reset();
}

Status OutputFile::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (platform::Interruption::Noted()) {
            writeFailed_ = true;
            return platform::Interruption::Interrupted();
        }
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
    if (writeFailed_ || !file_) {
        return OutputFailure(EIO);
    }
    // A name that changed is found before the wait for the disk, and again right before the
    // file takes it.
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
    if (Status placed = PutInPlace(); !placed) {
        return placed;
    }
    // The file stays open until it is under the name, so that its identity is its own.
    if (const int closed = file_.Close(); closed != 0) {
        return OutputFailure(closed);
    }
    // The new name reaches the disk with the folder; the file is complete either way.
    platform::UniqueFd folder(::openat(folder_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) {
        ::fsync(folder.get());
    }
    return {};
}

Status OutputFile::PutInPlace() {
    const int folder = folder_.get();
    const bool replacing = expected_.kind == NameState::Kind::RegularFile;
    if (!replacing && temporary_.empty()) {
        // The link is refused when the name was taken meanwhile.
        if (const int error = LinkUnnamed(file_.get(), folder, name_); error != 0) {
            return error == EEXIST ? NameChanged() : OutputFailure(error);
        }
        return {};
    }
    // Replacing a file takes a rename, and a rename a name to move from: a fresh hidden one,
    // which exists only for the moment between the link and the rename.
    for (int attempt = 0; attempt < kTemporaryNames && temporary_.empty(); ++attempt) {
        std::string hidden = TemporaryName(name_);
        if (hidden.empty()) {
            return OutputFailure(errno);
        }
        if (const int error = LinkUnnamed(file_.get(), folder, hidden); error == 0) {
            temporary_ = std::move(hidden);
        } else if (error != EEXIST) {
            return OutputFailure(error);
        }
    }
    if (temporary_.empty()) {
        return OutputFailure(EEXIST);
    }
    // A temporary name swapped for another file is not renamed into place.
    if (!TemporaryIsOurs()) {
        return NameChanged();
    }
    if (replacing) {
        if (NameState::Of(name_, folder) != expected_) {
            return NameChanged();
        }
        if (::renameat(folder, temporary_.c_str(), folder, name_.c_str()) != 0) {
            return OutputFailure(errno);
        }
    } else if (const int error = RenameOntoFreeName(folder, temporary_, name_); error != 0) {
        return error == EEXIST ? NameChanged() : OutputFailure(error);
    }
    temporary_.clear();
    // What the name holds now must be what was written: a file swapped in at the last moment is
    // told, never passed off as the output.
    if (IdentityAt(folder, name_) != identity_) {
        return NameChanged();
    }
    return {};
}

}  // namespace mirebolt::protection
