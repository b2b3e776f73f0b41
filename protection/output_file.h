#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/byte_stream.h"
#include "base/result.h"
#include "base/unique_fd.h"
#include "protection/file_identity.h"
#include "protection/name_state.h"

namespace mirebolt::protection {

// The file a command writes its result to. The bytes go, whole or in pieces, to a new file in
// the output's folder that has no name at all, so that a run killed at any moment leaves
// nothing and no one can swap or open it meanwhile. Only Commit gives it the output's name:
// complete, synced, and only while the name still holds what it held when the person was
// asked. Where the file system cannot make a file without a name, a hidden temporary name is
// used instead, created exclusively and never through a link, removed whenever the output is
// not committed, and checked to still hold our file before it is renamed.
class OutputFile final : public platform::ByteSink {
  public:
    enum class Access {
        Shared,     // a new file takes the usual mode, less the user's umask
        OwnerOnly,  // a new file is readable by its owner only: it is going to hold plaintext
    };
    enum class Temporary {
        Unnamed,  // where the file system allows it, else Named
        Named,
    };

    // Starts the output for `name`, whose state `expected` was seen when the person was asked
    // about it. Fails, creating nothing, when that state is nothing an output may take, when
    // the name holds something else by now, or when it is the file `mustNotBe` (the input,
    // chosen again by the person or reached through a hard link).
    static Result<OutputFile> Open(const std::string& name, Access access, NameState expected,
                                   std::optional<FileIdentity> mustNotBe,
                                   Temporary temporary = Temporary::Unnamed);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes what an output that was not committed left: its temporary name, if it has one.
    ~OutputFile() override;

    // Appends the bytes; failure when any of them does not reach the file, or when the running
    // command's Interruption noted a signal.
    Status Write(std::span<const std::uint8_t> bytes) override;

    // Syncs the file, gives it the permission bits (and owner, where the process may set it) of
    // the file it replaces, or a new file's own, and puts it under the name. Fails, leaving the
    // name as it is, when a write failed or the name's state is no longer the one expected.
    Status Commit();

  private:
    OutputFile() = default;
    void Discard();
    bool TemporaryIsOurs() const;
    Status PutInPlace();

    platform::UniqueFd folder_;  // where the name and the file are
    platform::UniqueFd file_;
    FileIdentity identity_;  // of the file being written
    std::string name_;       // the output's name within the folder
    std::string temporary_;  // a temporary name within the folder, while it has one
    NameState expected_;
    Access access_ = Access::Shared;
    bool writeFailed_ = false;
};

}  // namespace mirebolt::protection
