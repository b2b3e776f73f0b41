#include "asn1/malformed.h"

#include <utility>

namespace mirebolt::platform {

Failure Malformed() {
    // NSS's text for the code, word for word; the tests hold the two alike.
    return Malformed("security library: improperly formatted DER-encoded message.");
}

Failure Malformed(std::string text) {
    return Failure{kMalformedCode, std::move(text)};
}

}  // namespace mirebolt::platform
