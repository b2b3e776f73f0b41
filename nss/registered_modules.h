#pragma once

#include <functional>
#include <string>
#include <vector>

struct PK11SlotInfoStr;

namespace mirebolt::platform {

// A value for NSS's module parameters, between single quotes, where a backslash escapes the
// next character.
std::string QuotedParameter(const std::string& value);

// Called, on a thread of its own, when a module has been starting for two seconds and still has
// not answered, so that the person learns what the program waits for.
using SlowModuleNotice = void (*)(const std::string& name, const std::string& library);
void SetSlowModuleNotice(SlowModuleNotice notice);

// A PKCS #11 module that an NSS database registers but that could not be loaded.
struct UnloadedModule {
    std::string name;
    std::string library;
};

// The PKCS #11 modules (smart cards, tokens) that an NSS database registers in its pkcs11.txt,
// loaded while this object lives and unloaded when it goes. Nothing is written to the database.
// A module that cannot be loaded is noted and left out; it never stops the others. Two stores
// that register the same library share one loaded copy: NSS loads a library only once.
class RegisteredModules {
  public:
    RegisteredModules() = default;
    static RegisteredModules Load(const std::string& directory);

    RegisteredModules(RegisteredModules&& other) noexcept;
    RegisteredModules& operator=(RegisteredModules&& other) noexcept;
    RegisteredModules(const RegisteredModules&) = delete;
    RegisteredModules& operator=(const RegisteredModules&) = delete;
    ~RegisteredModules();

    // Calls `visit` with each slot of the loaded modules that holds a token now; the slot is
    // only borrowed for the call.
    void ForEachTokenSlot(const std::function<void(PK11SlotInfoStr*)>& visit) const;

    const std::vector<UnloadedModule>& unloaded() const { return unloaded_; }

  private:
    void Release();

    std::vector<std::string> libraries_;  // loaded here, keys of the process-wide share count
    std::vector<UnloadedModule> unloaded_;
};

}  // namespace mirebolt::platform
