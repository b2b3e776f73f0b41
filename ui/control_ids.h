#pragma once

namespace mirebolt::ui {

// The identifiers of the main dialog's controls and commands.
namespace id {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kPathBox = 1000;
inline constexpr int kBrowse = 1001;
inline constexpr int kRecipientView = 1002;
inline constexpr int kAdd = 1004;
inline constexpr int kRemove = 1005;
inline constexpr int kDecryptCommand = 1007;
inline constexpr int kEncryptCommand = 1008;
inline constexpr int kSiteLink = 1009;
inline constexpr int kEncrypt = 1010;
inline constexpr int kDecrypt = 1011;
inline constexpr int kLegacyCipher = 1015;
inline constexpr int kAbout = 57664;
inline constexpr int kAddFromFile = 32775;
inline constexpr int kAddFromStore = 32776;
}  // namespace id

// The notification a link sends when it is clicked.
inline constexpr int kLinkClicked = -2;

}  // namespace mirebolt::ui
