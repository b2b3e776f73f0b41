#include "platform/registered_modules.h"

#include <pk11pub.h>
#include <pkcs11n.h>
#include <secmod.h>

#include <map>
#include <memory>
#include <utility>

extern "C" {
#include <utilpars.h>
}

namespace mirebolt::platform {

namespace {

// One loaded copy of each library for the whole process, unloaded when its last store closes.
struct SharedModule {
    SECMODModule* module = nullptr;
    int users = 0;
};
std::map<std::string, SharedModule>& LoadedLibraries() {
    static std::map<std::string, SharedModule> loaded;
    return loaded;
}

struct PortStringRelease {
    void operator()(char* text) const { PORT_Free(text); }
};
using UniquePortString = std::unique_ptr<char, PortStringRelease>;

std::string ParameterOf(const char* name, const std::string& moduleEntry) {
    UniquePortString value(NSSUTIL_ArgGetParamValue(name, moduleEntry.c_str()));
    return value ? std::string(value.get()) : std::string();
}

// The entries of the database's pkcs11.txt, each one module's line of parameters as NSS keeps it.
std::vector<std::string> RegisteredEntries(const std::string& directory) {
    // The folder goes between single quotes, where a backslash escapes the next character.
    std::string parameters = "configdir='sql:";
    for (char c : directory) {
        if (c == '\'' || c == '\\') {
            parameters += '\\';
        }
        parameters += c;
    }
    parameters += "' flags=readOnly";
    std::vector<std::string> entries;
    char** found =
        NSSUTIL_DoModuleDBFunction(SECMOD_MODULE_DB_FUNCTION_FIND, parameters.data(), nullptr);
    if (found == nullptr) {
        return entries;
    }
    for (char** entry = found; *entry != nullptr; ++entry) {
        entries.emplace_back(*entry);
    }
    NSSUTIL_DoModuleDBFunction(SECMOD_MODULE_DB_FUNCTION_RELEASE, parameters.data(), found);
    return entries;
}

bool Acquire(const std::string& library, std::string entry) {
    auto& loaded = LoadedLibraries();
    if (auto shared = loaded.find(library); shared != loaded.end()) {
        ++shared->second.users;
        return true;
    }
    SECMODModule* module = SECMOD_LoadUserModule(entry.data(), nullptr, PR_FALSE);
    if (module == nullptr) {
        return false;
    }
    if (!module->loaded) {
        // A library that is missing or is no PKCS #11 module: NSS keeps nothing of it in use.
        SECMOD_DestroyModule(module);
        return false;
    }
    loaded[library] = SharedModule{module, 1};
    return true;
}

void ReleaseLibrary(const std::string& library) {
    auto& loaded = LoadedLibraries();
    auto shared = loaded.find(library);
    if (shared == loaded.end() || --shared->second.users > 0) {
        return;
    }
    SECMODModule* module = shared->second.module;
    loaded.erase(shared);
    SECMOD_UnloadUserModule(module);
    SECMOD_DestroyModule(module);
}

}  // namespace

RegisteredModules RegisteredModules::Load(const std::string& directory) {
    RegisteredModules modules;
    for (std::string& entry : RegisteredEntries(directory)) {
        const std::string library = ParameterOf("library", entry);
        if (library.empty()) {
            continue;  // NSS's own module, the database itself: the store opens that
        }
        const std::string name = ParameterOf("name", entry);
        if (Acquire(library, std::move(entry))) {
            modules.libraries_.push_back(library);
        } else {
            modules.unloaded_.push_back(UnloadedModule{name, library});
        }
    }
    return modules;
}

RegisteredModules::RegisteredModules(RegisteredModules&& other) noexcept
    : libraries_(std::exchange(other.libraries_, {})),
      unloaded_(std::exchange(other.unloaded_, {})) {}

RegisteredModules& RegisteredModules::operator=(RegisteredModules&& other) noexcept {
    if (this != &other) {
        Release();
        libraries_ = std::exchange(other.libraries_, {});
        unloaded_ = std::exchange(other.unloaded_, {});
    }
    return *this;
}

RegisteredModules::~RegisteredModules() {
    Release();
}

void RegisteredModules::Release() {
    for (const std::string& library : std::exchange(libraries_, {})) {
        ReleaseLibrary(library);
    }
}

void RegisteredModules::ForEachTokenSlot(const std::function<void(PK11SlotInfoStr*)>& visit) const {
    const auto& loaded = LoadedLibraries();
    for (const std::string& library : libraries_) {
        const SECMODModule* module = loaded.at(library).module;
        for (int i = 0; i < module->slotCount; ++i) {
            if (PK11_IsPresent(module->slots[i])) {
                visit(module->slots[i]);
            }
        }
    }
}

}  // namespace mirebolt::platform
