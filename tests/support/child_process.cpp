#include "support/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace mirebolt::testing {

namespace {

// A posix_spawn set-up object, destroyed once.
template <class Object, int (*Init)(Object*), int (*Destroy)(Object*)>
class SpawnSetup {
  public:
    SpawnSetup() { Init(&object_); }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    ~SpawnSetup() { Destroy(&object_); }
    Object* get() { return &object_; }

  private:
    Object object_;
};
using SpawnActions = SpawnSetup<posix_spawn_file_actions_t, posix_spawn_file_actions_init,
                                posix_spawn_file_actions_destroy>;
using SpawnAttributes =
    SpawnSetup<posix_spawnattr_t, posix_spawnattr_init, posix_spawnattr_destroy>;

std::string NameOf(const std::string& variable) {
    return variable.substr(0, variable.find('='));
}

std::vector<std::string> Environment(const std::vector<std::string>& changes) {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        bool replaced = false;
        for (const std::string& change : changes) {
            replaced = replaced || NameOf(change) == NameOf(*variable);
        }
        if (!replaced) {
            variables.emplace_back(*variable);
        }
    }
    variables.insert(variables.end(), changes.begin(), changes.end());
    return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

void Redirect(SpawnActions& actions, int from, int to, int flags) {
    if (from >= 0) {
        posix_spawn_file_actions_adddup2(actions.get(), from, to);
    } else {
        posix_spawn_file_actions_addopen(actions.get(), to, "/dev/null", flags, 0);
    }
}

}  // namespace

ChildOutcome RunChild(const ChildSetup& setup) {
    ChildOutcome outcome;
    if (setup.arguments.empty()) {
        return outcome;
    }
    std::vector<std::string> arguments = setup.arguments;
    std::vector<std::string> variables = Environment(setup.environmentChanges);
    std::vector<char*> argv = Pointers(arguments);
    std::vector<char*> envp = Pointers(variables);

    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    Redirect(actions, setup.standardOutput, 1, O_WRONLY);
    Redirect(actions, setup.standardError, 2, O_WRONLY);
    if (!setup.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(actions.get(), setup.workingDirectory.c_str());
    }
    SpawnAttributes attributes;
    if (setup.ownSession) {
        posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSID);
    }
    pid_t child = 0;
    if (::posix_spawnp(&child, argv[0], actions.get(), attributes.get(), argv.data(),
                       envp.data()) != 0) {
        return outcome;
    }
    outcome.started = true;
    int status = 0;
    pid_t waited = 0;
    while ((waited = ::wait4(child, &status, 0, &outcome.usage)) < 0 && errno == EINTR) {
    }
    if (waited != child) {
        return outcome;  // how it ended is unknown: not a success
    }
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

}  // namespace mirebolt::testing
