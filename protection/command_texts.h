#pragma once

// The failure texts of the two commands, shared by the whole-file and the streamed forms so that
// a person sees the same words whichever way a file was handled.
namespace mirebolt::protection::texts {

inline constexpr char kReadFailed[] = "Failed to open the select file for reading";

inline constexpr char kEncryptionFailed[] = "An error occured while encryption the file";
inline constexpr char kEncryptedWriteFailed[] =
    "Failed to write encrypted data to disk. Please ensure that the location of selected file "
    "is writable";

inline constexpr char kDecryptionFailed[] = "Failed to decrypt the selected file";
inline constexpr char kDecryptedWriteFailed[] =
    "Failed to write decrypted data to disk. Please ensure that the location of selected file "
    "is writable";

}  // namespace mirebolt::protection::texts
