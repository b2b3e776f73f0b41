#pragma once

#include <string>
#include <vector>

namespace mirebolt::cli {

inline constexpr char kInfoUsage[] =
    "Usage: mirebolt-cli info FILE\n"
    "Describes an encrypted file without decrypting it or asking for a password: its form,\n"
    "type, content cipher, the size of its content, and every recipient entry with the\n"
    "matching certificate of the personal store, if any.\n";

// Prints the description of the message in the file named by the one argument; gives the exit
// status.
int RunInfo(const std::string& storeDirectory, const std::vector<std::string>& arguments);

}  // namespace mirebolt::cli
