#include <cstdio>

#include "cli/commands.h"

namespace mirebolt::cli {

int StoreFailed(const Options& options, const Failure& why) {
    std::fprintf(stderr, "%s: error: cannot open the certificate store \"%s\": %s\n", kProgram,
                 options.storeDirectory.c_str(), why.text.c_str());
    return kFailed;
}

}  // namespace mirebolt::cli
