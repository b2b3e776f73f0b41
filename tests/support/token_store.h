#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace mirebolt::testing {

// A personal store with a smart card: a copy of Alice's store (her key, Bob's certificate) that
// registers a SoftHSM2 token, "Carol Card", holding Carol's key and certificate behind kPin.
// The token's configuration is this process's while the object lives, so that NSS finds the
// token here just as the programs started with environment() do.
class TokenStore {
  public:
    static constexpr char kTokenName[] = "Carol Card";
    static constexpr char kPin[] = "carol-pin";

    // MissingLibrary: the store also registers two modules that cannot be loaded.
    // CertificateInDatabase: the database also holds Carol's certificate, without her key.
    enum class Extra { None, MissingLibrary, CertificateInDatabase, EcKey };
    explicit TokenStore(Extra extra = Extra::None);
    TokenStore(const TokenStore&) = delete;
    TokenStore& operator=(const TokenStore&) = delete;
    ~TokenStore();

    std::string directory() const { return folder_ / "nssdb"; }
    // For programs started by the test: where SoftHSM2 finds the token.
    std::vector<std::string> environment() const;

    // Takes the card out: its token is gone from the reader.
    void RemoveCard();

    // Every file of the database, by name, with its bytes.
    std::map<std::string, Bytes> DatabaseFiles() const;

  private:
    TempDir folder_;
};

}  // namespace mirebolt::testing
