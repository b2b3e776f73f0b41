#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/result.h"
#include "platform/unique_fd.h"
#include "protection/file_identity.h"

namespace mirebolt::protection {

// The file a command writes its result to, created or emptied only when it is opened, and
// written in full or reported as failed.
class OutputFile {
  public:
    enum class Access {
        Shared,     // a new file takes the usual mode, less the user's umask
        OwnerOnly,  // a new file is readable by its owner only: it is going to hold plaintext
    };

    // Opens `name` for writing. Fails, leaving that file untouched, when the name leads to the
    // file `mustNotBe` (the input, reached through a link or chosen again by the user). An
    // existing file keeps its mode.
    static Result<OutputFile> Open(const std::string& name, Access access,
                                   std::optional<FileIdentity> mustNotBe);

    // Writes every byte and has them reach the disk; failure when any of them does not.
    Status Write(std::span<const std::uint8_t> bytes);
    void Close() { fd_.Reset(); }

    // Whether opening created the file, rather than emptying one that was there.
    bool created() const { return created_; }

  private:
    OutputFile() = default;

    platform::UniqueFd fd_;
    bool created_ = false;
};

}  // namespace mirebolt::protection
