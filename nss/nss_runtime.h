#pragma once

namespace mirebolt::platform {

// NSS for the whole process. It starts once, at first use, without a database of its own and so
// without writing anywhere: certificates read from files live in memory, and the personal store
// is opened read-only as a token of its own (see PersonalStore). NSS cannot start again after it
// was shut down, so the program shuts it down once, when it ends.
class NssRuntime {
  public:
    // Starts NSS unless it runs already; false when it cannot run in this process.
    static bool EnsureStarted();

    // Ends NSS for the process. NSS refuses while any reference it handed out is still held, so
    // a false result means something leaked.
    static bool Shutdown();
};

// Owned by a program's main: shuts NSS down when the program leaves main.
class NssSession {
  public:
    NssSession() = default;
    NssSession(const NssSession&) = delete;
    NssSession& operator=(const NssSession&) = delete;
    ~NssSession() { NssRuntime::Shutdown(); }
};

}  // namespace mirebolt::platform
