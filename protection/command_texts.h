#pragma once

// Every text the two commands show, shared by the whole-file and the streamed forms so that a
// person sees the same words whichever way a file was handled.
namespace mirebolt::protection::texts {

// Either command, about the file it was given.
inline constexpr char kReadFailed[] = "Failed to open the select file for reading";
inline constexpr char kEmptyInput[] = "The selected file is empty";

// Encrypt.
inline constexpr char kNoFileToEncrypt[] = "Please select a file to encrypt";
inline constexpr char kNoRecipients[] =
    "No encryption certificates added to the recipients list.\nPlease use the \"+\" button to "
    "add at least one certificate";
inline constexpr char kReplaceEncrypted[] =
    "The encrypted file already exists. Do you want to overwrite it?";
inline constexpr char kReplaceEncryptedTitle[] = "Already Exists";
inline constexpr char kTooBigToEncrypt[] = "The file is too big for encryption by this program";
inline constexpr char kEncryptedLocationNotWritable[] =
    "The location of the selected file is not writable. Encryption can not proceed";
inline constexpr char kNoMemoryToEncrypt[] =
    "Failed to allocate memory needed for the encryption process";
inline constexpr char kEncryptionFailed[] = "An error occured while encryption the file";
inline constexpr char kEncryptedWriteFailed[] =
    "Failed to write encrypted data to disk. Please ensure that the location of selected file "
    "is writable";
inline constexpr char kEncrypted[] = "File encrypted successfully.\nEncrypted data written to ";

// Decrypt.
inline constexpr char kNoFileToDecrypt[] = "Please select a file to decrypt";
inline constexpr char kTooBigToDecrypt[] = "The file is too big for decryption by this program";
inline constexpr char kReplaceDecrypted[] =
    "The decrypted file already exists.\nDo you want to overwrite it?";
inline constexpr char kReplaceDecryptedTitle[] = "Overwrite?";
inline constexpr char kDecryptedLocationNotWritable[] =
    "Failed to write data to disk. Please ensure that the location of selected file is writable";
inline constexpr char kStoreFailed[] = "Failed to open the system certificate store";
inline constexpr char kNoMemoryToDecrypt[] =
    "Failed to allocate memory needed for the decryption process";
inline constexpr char kDecryptionFailed[] = "Failed to decrypt the selected file";
inline constexpr char kDecryptedWriteFailed[] =
    "Failed to write decrypted data to disk. Please ensure that the location of selected file "
    "is writable";
inline constexpr char kDecrypted[] = "File decrypted successfully.\nDecrypted data written to ";

}  // namespace mirebolt::protection::texts
