#include "nss/registered_modules.h"

#include <pk11pub.h>
#include <pkcs11n.h>
#include <secmod.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

extern "C" {
#include <utilpars.h>
}

#include "base/interruption.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

namespace {

// A module loaded from its library, unloaded and given back when it goes.
struct LoadedModuleRelease {
    void operator()(SECMODModule* module) const {
        SECMOD_UnloadUserModule(module);
        SECMOD_DestroyModule(module);
    }
};
using LoadedModule = std::unique_ptr<SECMODModule, LoadedModuleRelease>;

// One loaded copy of each library for the whole process, unloaded when its last store closes.
struct SharedModule {
    LoadedModule module;
    int users = 0;
};
std::map<std::string, SharedModule>& LoadedLibraries() {
    // Never destroyed: at exit NSS is shut down already, and a module it still held then (a
    // store left open) is not ours to unload.
    static auto* loaded = new std::map<std::string, SharedModule>();
    return *loaded;
}

// The entries NSS lists for a database, given back through the call that listed them.
class ModuleDbEntries {
  public:
    explicit ModuleDbEntries(std::string parameters)
        : parameters_(std::move(parameters)),
          found_(NSSUTIL_DoModuleDBFunction(SECMOD_MODULE_DB_FUNCTION_FIND, parameters_.data(),
                                            nullptr)) {}
    ModuleDbEntries(const ModuleDbEntries&) = delete;
    ModuleDbEntries& operator=(const ModuleDbEntries&) = delete;
    ~ModuleDbEntries() {
        if (found_ != nullptr) {
            NSSUTIL_DoModuleDBFunction(SECMOD_MODULE_DB_FUNCTION_RELEASE, parameters_.data(),
                                       found_);
        }
    }

    // The list, ending in a null entry; null when there is none.
    char** get() const { return found_; }

  private:
    std::string parameters_;
    char** found_;
};

std::string ParameterOf(const char* name, const std::string& moduleEntry) {
    UniquePortString value(NSSUTIL_ArgGetParamValue(name, moduleEntry.c_str()));
    return value ? std::string(value.get()) : std::string();
}

// The entries of the database's pkcs11.txt, each one module's line of parameters as NSS keeps it.
std::vector<std::string> RegisteredEntries(const std::string& directory) {
    const ModuleDbEntries found("configdir=" + QuotedParameter("sql:" + directory) +
                                " flags=readOnly");
    std::vector<std::string> entries;
    if (found.get() == nullptr) {
        return entries;
    }
    for (char** entry = found.get(); *entry != nullptr; ++entry) {
        entries.emplace_back(*entry);
    }
    return entries;
}

SlowModuleNotice slowModuleNotice = nullptr;
constexpr auto kNoticeAfter = std::chrono::seconds(2);
constexpr auto kSignalCheckEvery = std::chrono::milliseconds(50);

// Watches a module's start, which runs its library's constructors and C_Initialize and may take
// any time: after a while it says what is being waited for, and a signal that a running command
// noted ends the program, since nothing can interrupt the module.
class StartWatch {
  public:
    StartWatch(std::string name, std::string library)
        : name_(std::move(name)), library_(std::move(library)), thread_([this] { Watch(); }) {}
    StartWatch(const StartWatch&) = delete;
    StartWatch& operator=(const StartWatch&) = delete;
    ~StartWatch() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            started_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

  private:
    void Watch() {
        const auto noticeAt = std::chrono::steady_clock::now() + kNoticeAfter;
        bool noticed = false;
        std::unique_lock<std::mutex> lock(mutex_);
        while (!changed_.wait_for(lock, kSignalCheckEvery, [this] { return started_; })) {
            platform::Interruption::EndIfNoted();
            if (!noticed && std::chrono::steady_clock::now() >= noticeAt) {
                noticed = true;
                if (slowModuleNotice != nullptr) {
                    slowModuleNotice(name_, library_);
                }
            }
        }
    }

    std::string name_;
    std::string library_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool started_ = false;
    std::thread thread_;  // last: it starts once the rest is there
};

bool Acquire(const std::string& name, const std::string& library, std::string entry) {
    auto& loaded = LoadedLibraries();
    if (auto shared = loaded.find(library); shared != loaded.end()) {
        ++shared->second.users;
        return true;
    }
    UniqueModule module;
    {
        const StartWatch watch(name, library);
        module.reset(SECMOD_LoadUserModule(entry.data(), nullptr, PR_FALSE));
    }
    if (!module) {
        return false;
    }
    if (!module->loaded) {
        // A library that is missing or is no PKCS #11 module: NSS keeps nothing of it in use, so
        // giving back our reference is all there is to do.
        return false;
    }
    loaded[library] = SharedModule{LoadedModule(module.release()), 1};
    return true;
}

void ReleaseLibrary(const std::string& library) {
    auto& loaded = LoadedLibraries();
    auto shared = loaded.find(library);
    if (shared == loaded.end() || --shared->second.users > 0) {
        return;
    }
    loaded.erase(shared);
}

}  // namespace

void SetSlowModuleNotice(SlowModuleNotice notice) {
    slowModuleNotice = notice;
}

std::string QuotedParameter(const std::string& value) {
    std::string quoted = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "'";
}

RegisteredModules RegisteredModules::Load(const std::string& directory) {
    RegisteredModules modules;
    for (std::string& entry : RegisteredEntries(directory)) {
        const std::string library = ParameterOf("library", entry);
        if (library.empty()) {
            continue;  // NSS's own module, the database itself: the store opens that
        }
        const std::string name = ParameterOf("name", entry);
        if (Acquire(name, library, std::move(entry))) {
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
        const SECMODModule* module = loaded.at(library).module.get();
        for (int i = 0; i < module->slotCount; ++i) {
            if (PK11_IsPresent(module->slots[i])) {
                visit(module->slots[i]);
            }
        }
    }
}

}  // namespace mirebolt::platform
