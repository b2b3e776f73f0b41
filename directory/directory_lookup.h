#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/secret.h"

namespace mirebolt::directory {

// The longest a directory may take for one step (connecting, StartTLS, the bind, the search):
// one that does not answer is a failure after this, never a hang.
inline constexpr int kTimeoutSeconds = 4;
// The most entries taken for one address: a search that matches more names no one in particular.
inline constexpr int kMostEntries = 20;

// Where and how to ask. `address` is "ldap://HOST[:PORT]/BASE-DN" or "ldaps://…"; the base DN
// may be percent-encoded as in any LDAP URL.
struct DirectorySettings {
    std::string address;
    bool startTls = false;  // ldap:// only: the connection is made private before the bind
    std::string bindDn;     // empty: an anonymous search
    const platform::Secret* password = nullptr;  // the bind DN's, when one is named
};

// One entry that answers to the address, with the certificates it publishes in its own order,
// as DER (userCertificate) or as a PKCS #7 bundle (userSMIMECertificate); a value given twice
// (under ";binary" and without) is kept once.
struct DirectoryEntry {
    std::string dn;
    std::vector<std::vector<std::uint8_t>> certificates;
};

// The entries under the base DN whose mail, userPrincipalName or cn is `emailAddress`. An empty
// list is an answer (no one by that address); a directory that cannot be reached, refuses the
// bind or the search, or takes longer than kTimeoutSeconds for a step is a failure whose text
// says which.
Result<std::vector<DirectoryEntry>> LookUpAddress(const DirectorySettings& settings,
                                                  const std::string& emailAddress);

}  // namespace mirebolt::directory
