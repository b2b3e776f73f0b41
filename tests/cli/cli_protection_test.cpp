// mirebolt-cli against what the world does to a run: a kill at any moment, a file size limit,
// standard input that is the output, hang-ups and interruptions, a person without privilege
// looking into it, and neighbours who edit its input or meddle in its output's folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <thread>

#include "base/unique_fd.h"
#include "cli/alices_home.h"
#include "support/neighbour.h"

extern char** environ;

namespace mirebolt {
namespace {

using platform::UniqueFd;
using testing::Bytes;
using testing::FixturePath;
using testing::FolderEntries;
using Names = std::set<std::string>;
namespace fs = std::filesystem;

constexpr std::uint64_t kMiB = 1024 * 1024;

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t wrote = ::write(fd, bytes, size);
        if (wrote <= 0) {
            return false;
        }
        bytes += wrote;
        size -= static_cast<std::size_t>(wrote);
    }
    return true;
}

// Content of any size, made quickly: one random MiB, each copy changed by its number, so that
// no two MiB of a file are alike.
void WritePattern(const std::string& path, std::uint64_t size) {
    static const std::vector<std::uint64_t> block = [] {
        std::mt19937_64 generator{std::random_device{}()};
        std::vector<std::uint64_t> words(kMiB / 8);
        for (auto& word : words) {
            word = generator();
        }
        return words;
    }();
    const UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    ASSERT_TRUE(file) << path;
    std::vector<std::uint64_t> copy(block.size());
    for (std::uint64_t done = 0, index = 1; done < size; ++index) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            copy[i] = block[i] ^ (index * 0x9E3779B97F4A7C15u);
        }
        const std::size_t part = static_cast<std::size_t>(std::min(kMiB, size - done));
        ASSERT_TRUE(WriteAll(file.get(), copy.data(), part)) << path;
        done += part;
    }
}

bool SameContent(const std::string& a, const std::string& b) {
    return testing::RunCommand({"cmp", "-s", a, b}).exitCode == 0;
}

// A message for Alice as a peer makes it.
void SealForAlice(const std::string& plain, const std::string& message,
                  const char* cipher = "-aes256") {
    const testing::CommandResult sealed =
        testing::RunCommand({"openssl", "cms", "-encrypt", "-binary", cipher, "-outform", "DER",
                             "-in", plain, "-out", message, FixturePath("alice.pem")});
    ASSERT_EQ(sealed.exitCode, 0) << sealed.output;
}

// How a run ended, in words a failed check shows.
std::string Exited(int code) {
    return "exit " + std::to_string(code);
}
std::string EndedBy(int signal) {
    return std::string("ended by SIG") + sigabbrev_np(signal);
}

// What the kernel counts a process has read and written, through any call.
struct IoCounts {
    std::uint64_t read = 0;
    std::uint64_t written = 0;
};

// How a child starts: what it reads, where its output goes, the limits and the ignored signals
// it inherits. Every other signal has its default action and none is blocked, whatever the
// test program's own are.
struct Launch {
    std::vector<std::string> arguments;  // the program first
    std::string workingDirectory;
    std::vector<std::string> environment;  // "NAME=VALUE" that replace or add to ours
    int standardInput = -1;                // a descriptor of ours; -1: /dev/null
    int standardOutput = -1;
    std::vector<std::pair<int, rlim_t>> limits;
    std::vector<int> ignoredSignals;  // as nohup leaves SIGHUP
};

// A program running in its own session, watched from outside while it runs. Its standard
// error is kept.
class Child {
  public:
    explicit Child(const Launch& launch) {
        char name[] = "/tmp/mirebolt-errors-XXXXXX";
        errors_ = UniqueFd(::mkstemp(name));
        ::unlink(name);
        const UniqueFd nothing(::open("/dev/null", O_RDWR | O_CLOEXEC));
        std::vector<char*> argv;
        for (const std::string& argument : launch.arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<std::string> variables = launch.environment;
        for (char** each = environ; *each != nullptr; ++each) {
            const std::string variable = *each;
            const std::string key = variable.substr(0, variable.find('=') + 1);
            if (std::none_of(variables.begin(), variables.end(),
                             [&](const std::string& v) { return v.rfind(key, 0) == 0; })) {
                variables.push_back(variable);
            }
        }
        std::vector<char*> envp;
        for (std::string& variable : variables) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        std::vector<std::pair<int, rlimit>> limits;
        for (const auto& [resource, soft] : launch.limits) {
            rlimit limit{};
            ::getrlimit(resource, &limit);
            limit.rlim_cur = std::min(soft, limit.rlim_max);
            limits.emplace_back(resource, limit);
        }
        const int in = launch.standardInput >= 0 ? launch.standardInput : nothing.get();
        const int out = launch.standardOutput >= 0 ? launch.standardOutput : nothing.get();
        const char* directory = launch.workingDirectory.c_str();

        pid_ = ::fork();
        if (pid_ == 0) {
            // Only calls that are safe between fork and exec in a threaded program.
            ::setsid();
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            struct sigaction action {};
            sigemptyset(&action.sa_mask);
            action.sa_handler = SIG_DFL;
            for (int signal = 1; signal < NSIG; ++signal) {
                ::sigaction(signal, &action, nullptr);
            }
            action.sa_handler = SIG_IGN;
            for (int signal : launch.ignoredSignals) {
                ::sigaction(signal, &action, nullptr);
            }
            for (const auto& [resource, limit] : limits) {
                ::setrlimit(resource, &limit);
            }
            if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(errors_.get(), 2) < 0 ||
                (*directory != '\0' && ::chdir(directory) != 0)) {
                ::_exit(127);
            }
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        EXPECT_GT(pid_, 0) << "cannot start " << launch.arguments.front();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        Signal(SIGKILL);
        Wait();
    }

    pid_t pid() const { return pid_; }

    std::optional<IoCounts> Io() const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/io");
        std::string key;
        std::uint64_t value = 0;
        IoCounts counts;
        bool seen = false;
        while (in >> key >> value) {
            seen = true;
            if (key == "rchar:") {
                counts.read = value;
            } else if (key == "wchar:") {
                counts.written = value;
            }
        }
        return seen ? std::optional<IoCounts>(counts) : std::nullopt;
    }

    // Watches the run until `ready` holds of its counts: false when it ended first.
    bool WaitUntil(const std::function<bool(const IoCounts&)>& ready) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!ending_ && std::chrono::steady_clock::now() < deadline) {
            if (const std::optional<IoCounts> counts = Io(); counts && ready(*counts)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            Reap(WNOHANG);
        }
        return false;
    }

    void Signal(int signal) {
        if (pid_ > 0 && !ending_) {
            ::kill(pid_, signal);
        }
    }

    // How it ended: Exited() or EndedBy().
    std::string Wait() {
        while (pid_ > 0 && !ending_ && Reap(0)) {
        }
        return ending_.value_or("never started");
    }

    std::string Errors() const {
        std::string text;
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::pread(errors_.get(), buffer, sizeof buffer,
                              static_cast<off_t>(text.size()))) > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        }
        return text;
    }

  private:
    // Whether to go on waiting.
    bool Reap(int options) {
        int status = 0;
        const pid_t got = ::waitpid(pid_, &status, options);
        if (got == pid_) {
            ending_ = WIFSIGNALED(status) ? EndedBy(WTERMSIG(status)) : Exited(WEXITSTATUS(status));
        }
        return got < 0 && errno == EINTR;
    }

    UniqueFd errors_;
    pid_t pid_ = -1;
    std::optional<std::string> ending_;
};

class CliProtection : public testing::AlicesHome {
  protected:
    static void SetUpTestSuite() { shared_ = new testing::TempDir; }
    static void TearDownTestSuite() {
        delete shared_;
        shared_ = nullptr;
    }

    // A plain file of `mib` MiB, made once for the suite and linked into the work folder.
    std::string Plain(std::uint64_t mib, const std::string& name) {
        const std::string made = SharedPlain(mib);
        fs::create_hard_link(made, work_ / name);
        return name;
    }
    // The same file sealed for Alice by openssl.
    std::string Message(std::uint64_t mib, const std::string& name) {
        const std::string made = *shared_ / ("message-" + std::to_string(mib));
        if (!fs::exists(made)) {
            SealForAlice(SharedPlain(mib), made);
        }
        fs::create_hard_link(made, work_ / name);
        return name;
    }
    static std::string SharedPlain(std::uint64_t mib) {
        const std::string made = *shared_ / ("plain-" + std::to_string(mib));
        if (!fs::exists(made)) {
            WritePattern(made, mib * kMiB);
        }
        return made;
    }

    // mirebolt-cli in the work folder, Alice's home its own.
    Launch Cli(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), MIREBOLT_CLI);
        Launch launch;
        launch.arguments = std::move(arguments);
        launch.workingDirectory = work_.path().string();
        launch.environment = {"HOME=" + home_.path().string()};
        return launch;
    }

    // Removes from the work folder what is not in `kept`, for the next case.
    void KeepOnly(const Names& kept) {
        for (const std::string& name : FolderEntries(work_.path())) {
            if (kept.count(name) == 0) {
                fs::remove_all(work_.path() / name);
            }
        }
    }

    // Whether `message` decrypts to the content of `plain`.
    bool OpensTo(const std::string& message, const std::string& plain) {
        const testing::ProgramResult opened =
            Run({"--yes", "decrypt", "-o", "opened-check", message});
        const bool same =
            opened.exitCode == 0 && SameContent(work_ / "opened-check", work_ / plain);
        fs::remove(work_ / "opened-check");
        return same;
    }

    static testing::TempDir* shared_;
};

testing::TempDir* CliProtection::shared_ = nullptr;

// The arguments of a run from `input` to the named `output`.
std::vector<std::string> Arguments(bool encrypting, const std::string& input,
                                   const std::string& output, std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments = {encrypting ? "encrypt" : "decrypt", "-o", output};
    if (encrypting) {
        arguments.insert(arguments.end(), {"-r", FixturePath("alice.pem")});
    }
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    arguments.push_back(input);
    return arguments;
}

// A kill cannot be answered: whatever the moment, the folder must hold what it held, or that
// and the complete output once it took its name.
TEST_F(CliProtection, AKillAtAnyMomentLeavesNothingBehind) {
    enum class Moment { StartingUp, AThirdRead, MostWritten };
    const char* const kMomentNames[] = {"starting up", "a third read", "most written"};
    const struct {
        bool encrypting;
        std::uint64_t mib;
        std::vector<Moment> moments;
    } cases[] = {
        {false, 200, {Moment::StartingUp, Moment::AThirdRead, Moment::MostWritten}},
        {true, 200, {Moment::MostWritten}},
        {false, 90, {Moment::MostWritten}},
        {true, 90, {Moment::MostWritten}},
    };
    for (const auto& each : cases) {
        const std::string input =
            each.encrypting ? Plain(each.mib, "p") : Message(each.mib, "m.enc");
        const std::string output = each.encrypting ? "p.enc" : "m";
        const std::vector<std::string> arguments = Arguments(each.encrypting, input, output);
        const std::uint64_t size = each.mib * kMiB;
        const Names before = FolderEntries(work_.path());

        Child whole(Cli(arguments));
        ASSERT_EQ(whole.Wait(), Exited(0)) << whole.Errors();
        const auto complete = fs::file_size(work_ / output);
        if (!each.encrypting) {
            ASSERT_TRUE(SameContent(work_ / output, SharedPlain(each.mib)));
        }
        fs::remove(work_ / output);

        for (Moment moment : each.moments) {
            SCOPED_TRACE(std::string(each.encrypting ? "encrypt " : "decrypt ") +
                         std::to_string(each.mib) + " MiB, " +
                         kMomentNames[static_cast<int>(moment)]);
            Child run(Cli(arguments));
            bool reached = true;
            if (moment == Moment::StartingUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            } else {
                reached = run.WaitUntil([&](const IoCounts& io) {
                    return moment == Moment::AThirdRead ? io.read >= size / 3
                                                        : io.written >= size / 10 * 9;
                });
            }
            run.Signal(SIGKILL);
            EXPECT_EQ(run.Wait(), EndedBy(SIGKILL))
                << (reached ? "" : "it ended before the moment came\n") << run.Errors();
            Names after = FolderEntries(work_.path());
            if (before.count(output) == 0 && after.erase(output) == 1) {
                EXPECT_EQ(fs::file_size(work_ / output), complete);
            }
            EXPECT_EQ(after, before);
            KeepOnly(before);
        }
        KeepOnly({});
    }
}

// A write the limit refuses fails as a write does: no death by SIGXFSZ, the write's text, and
// the folder as it was, a file answered Yes included.
TEST_F(CliProtection, AFileSizeLimitIsAFailedWriteThatKeepsWhatWasThere) {
    testing::WriteBytes(work_ / "small", testing::RandomBytes(3 * kMiB));
    SealForAlice(work_ / "small", work_ / "small.enc");
    Plain(200, "large");
    Message(200, "large.enc");
    const Bytes old = testing::RandomBytes(5000);
    const struct {
        bool encrypting;
        std::string input;
        rlim_t limit;
    } cases[] = {
        {true, "small", 1'000'000},
        {true, "large", 10'000'000},
        {false, "small.enc", 1'000'000},
        {false, "large.enc", 10'000'000},
    };
    for (const auto& each : cases) {
        for (bool replacing : {false, true}) {
            SCOPED_TRACE(each.input + (replacing ? ", replacing a file" : ""));
            if (replacing) {
                testing::WriteBytes(work_ / "out", old);
            }
            const Names before = FolderEntries(work_.path());
            Launch launch = Cli(Arguments(each.encrypting, each.input, "out", {"--yes"}));
            launch.limits = {{RLIMIT_FSIZE, each.limit}};
            Child run(launch);
            EXPECT_EQ(run.Wait(), Exited(1));
            EXPECT_EQ(run.Errors(), "mirebolt-cli: error: cannot write \"out\": File too large\n");
            EXPECT_EQ(FolderEntries(work_.path()), before);
            if (replacing) {
                EXPECT_TRUE(testing::ReadBytes(work_ / "out") == old);
            }
            KeepOnly({"small", "small.enc", "large", "large.enc"});
        }
    }
}

// Replacing the file that standard input reads would destroy the data being read, whatever
// name the file has and whatever the answer.
TEST_F(CliProtection, StandardInputThatIsTheOutputIsRefused) {
    const Bytes plain = testing::RandomBytes(100'000);
    testing::WriteBytes(work_ / "x", plain);
    SealForAlice(work_ / "x", work_ / "x.enc");
    const Bytes message = testing::ReadBytes(work_ / "x.enc");
    const struct {
        bool encrypting;
        std::string input;
        std::string output;
    } cases[] = {
        {true, "x", "x"},
        {true, "x", "x-link"},
        {false, "x.enc", "x.enc"},
        {false, "x.enc", "x.enc-link"},
    };
    for (const auto& each : cases) {
        for (bool yes : {false, true}) {
            SCOPED_TRACE(each.output + (yes ? " --yes" : ""));
            // A run that went wrong must not spoil the next.
            KeepOnly({});
            testing::WriteBytes(work_ / "x", plain);
            testing::WriteBytes(work_ / "x.enc", message);
            fs::create_hard_link(work_ / "x", work_ / "x-link");
            fs::create_hard_link(work_ / "x.enc", work_ / "x.enc-link");
            const Names before = FolderEntries(work_.path());
            const UniqueFd input(::open((work_ / each.input).c_str(), O_RDONLY | O_CLOEXEC));
            Launch launch = Cli(
                Arguments(each.encrypting, "-", each.output,
                          yes ? std::vector<std::string>{"--yes"} : std::vector<std::string>{}));
            launch.standardInput = input.get();
            Child run(launch);
            EXPECT_EQ(run.Wait(), Exited(1)) << run.Errors();
            EXPECT_TRUE(testing::ReadBytes(work_ / each.output) ==
                        (each.encrypting ? plain : message));
            EXPECT_EQ(FolderEntries(work_.path()), before);
        }
    }
}

// Triple DES is slow enough for a signal to arrive while the run is at work.
constexpr std::uint64_t kSlowSize = 20 * kMiB;

// A hang-up that was ignored when the program started (nohup) stays ignored, for a named file
// and for standard streams alike.
TEST_F(CliProtection, UnderNohupAHangUpDoesNotEndTheRun) {
    WritePattern(work_ / "s", kSlowSize);
    for (bool streams : {false, true}) {
        SCOPED_TRACE(streams ? "standard streams" : "named file");
        Launch launch = streams
                            ? Cli({"encrypt", "--triple-des", "-r", FixturePath("alice.pem"), "-"})
                            : Cli(Arguments(true, "s", "s.enc", {"--triple-des"}));
        UniqueFd in;
        UniqueFd out;
        if (streams) {
            in = UniqueFd(::open((work_ / "s").c_str(), O_RDONLY | O_CLOEXEC));
            out = UniqueFd(
                ::open((work_ / "s.enc").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
            launch.standardInput = in.get();
            launch.standardOutput = out.get();
        }
        launch.ignoredSignals = {SIGHUP};
        Child run(launch);
        EXPECT_TRUE(run.WaitUntil([](const IoCounts& io) { return io.read >= kSlowSize / 2; }));
        run.Signal(SIGHUP);
        EXPECT_EQ(run.Wait(), Exited(0)) << run.Errors();
        EXPECT_TRUE(OpensTo("s.enc", "s"));
        fs::remove(work_ / "s.enc");
    }
}

TEST_F(CliProtection, AnInterruptionEndsTheRunByItsSignalAndLeavesNothing) {
    WritePattern(work_ / "s", kSlowSize);
    const Names before = FolderEntries(work_.path());
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sigabbrev_np(signal));
        Child run(Cli(Arguments(true, "s", "s.enc", {"--triple-des"})));
        // Half the output written: a run that keeps it under a name has that name by now.
        EXPECT_TRUE(run.WaitUntil([](const IoCounts& io) { return io.written >= kSlowSize / 2; }));
        run.Signal(signal);
        EXPECT_EQ(run.Wait(), EndedBy(signal)) << run.Errors();
        EXPECT_EQ(run.Errors(), "mirebolt-cli: interrupted\n");
        EXPECT_EQ(FolderEntries(work_.path()), before);
        KeepOnly(before);
    }
}

// A run holds plaintext and key material: another process of the same user may not read its
// memory, and a crash writes no core. The first is seen in /proc: the files of a process that
// is not dumpable belong to root.
TEST_F(CliProtection, ARunOfAPersonWithoutPrivilegeCannotBeLookedIntoOrDumped) {
    if (!fs::exists("/usr/bin/setpriv")) {
        GTEST_SKIP() << "setpriv (util-linux) is missing";
    }
    // A folder the unprivileged user may write in (a core would go there), with a store it may
    // read.
    const fs::path open = work_.path() / "open";
    fs::create_directories(open);
    fs::copy(FixturePath("store-alice"), open / "nssdb", fs::copy_options::recursive);
    for (const fs::path& folder : {work_.path(), open, open / "nssdb"}) {
        fs::permissions(folder, fs::perms(0755));
    }
    fs::permissions(open, fs::perms(0777));
    for (const auto& entry : fs::directory_iterator(open / "nssdb")) {
        fs::permissions(entry.path(), fs::perms(0644));
    }
    testing::WriteBytes(open / "x", testing::RandomBytes(kMiB));
    SealForAlice(open / "x", open / "x.enc");
    const Bytes message = testing::ReadBytes(open / "x.enc");
    // Cores go to the folder the process runs in only when core_pattern names no pipe handler
    // or other folder; elsewhere the ownership of /proc's files is the only evidence.
    std::ifstream patternFile("/proc/sys/kernel/core_pattern");
    std::string pattern;
    std::getline(patternFile, pattern);
    bool coresSeen =
        !pattern.empty() && pattern[0] != '|' && pattern.find('/') == std::string::npos;

    const std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                               "--clear-groups"};
    // A child that dies makes our writes to it fail, rather than end the test program.
    struct IgnoringBrokenPipes {
        sighandler_t previous = ::signal(SIGPIPE, SIG_IGN);
        ~IgnoringBrokenPipes() { ::signal(SIGPIPE, previous); }
    } ignoring;
    const struct {
        const char* what;
        std::vector<std::string> program;
        bool hidden;
    } runs[] = {
        // The control: a program that does nothing about it is seen through.
        {"cat", {"/bin/cat"}, false},
        {"mirebolt-cli",
         {MIREBOLT_CLI, "--store=" + (open / "nssdb").string(), "decrypt", "-o", "-", "-"},
         true},
    };
    for (const auto& each : runs) {
        SCOPED_TRACE(each.what);
        int ends[2];
        ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        UniqueFd readEnd(ends[0]);
        const UniqueFd writeEnd(ends[1]);
        Launch launch;
        launch.arguments = asNobody;
        launch.arguments.insert(launch.arguments.end(), each.program.begin(), each.program.end());
        launch.workingDirectory = open.string();
        launch.environment = {"HOME=" + open.string()};
        launch.standardInput = readEnd.get();
        launch.limits = {{RLIMIT_CORE, RLIM_INFINITY}};
        Child run(launch);
        readEnd.Reset();
        // Half the message: the run is at work, its key found, and waits for the rest.
        EXPECT_TRUE(WriteAll(writeEnd.get(), message.data(), message.size() / 2));
        EXPECT_TRUE(
            run.WaitUntil([&](const IoCounts& io) { return io.read >= message.size() / 2; }));
        struct stat environment {};
        ASSERT_EQ(::stat(("/proc/" + std::to_string(run.pid()) + "/environ").c_str(), &environment),
                  0);
        EXPECT_EQ(environment.st_uid, each.hidden ? 0u : 65534u);

        run.Signal(SIGSEGV);
        // The sanitizers' own handler may answer the signal in their build: only the control's
        // ending is certain.
        const std::string ending = run.Wait();
        if (!each.hidden) {
            EXPECT_EQ(ending, EndedBy(SIGSEGV));
        }
        bool dumped = false;
        for (const std::string& name : FolderEntries(open)) {
            if (name.rfind("core", 0) == 0) {
                dumped = true;
                fs::remove(open / name);
            }
        }
        if (!each.hidden && !dumped) {
            coresSeen = false;
            std::printf("No core is written here (core_pattern \"%s\"): only /proc is checked\n",
                        pattern.c_str());
        }
        if (coresSeen) {
            EXPECT_EQ(dumped, !each.hidden);
        }
    }
}

// Changes a few bytes at `offset` of the file, keeping its size, as an editor saving in place.
void Poke(const std::string& path, std::uint64_t offset) {
    const UniqueFd file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(file);
    std::uint8_t bytes[8];
    ASSERT_EQ(::pread(file.get(), bytes, sizeof bytes, static_cast<off_t>(offset)), 8);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(~byte);
    }
    ASSERT_EQ(::pwrite(file.get(), bytes, sizeof bytes, static_cast<off_t>(offset)), 8);
}

// An input changed while it is read cannot give a trustworthy output, whichever part changed.
TEST_F(CliProtection, AnInputEditedInPlaceDuringTheRunIsAReadFailure) {
    const std::uint64_t size = 200 * kMiB;
    for (bool encrypting : {true, false}) {
        SCOPED_TRACE(encrypting ? "encrypt" : "decrypt");
        const std::string input = encrypting ? "p" : "m.enc";
        if (encrypting) {
            WritePattern(work_ / input, size);
        } else {
            Message(200, "shared.enc");
            fs::copy_file(work_ / "shared.enc", work_ / input);
            fs::remove(work_ / "shared.enc");
        }
        const Names before = FolderEntries(work_.path());
        Child run(Cli(Arguments(encrypting, input, "out")));
        std::uint64_t read = 0;
        ASSERT_TRUE(run.WaitUntil([&](const IoCounts& io) {
            read = io.read;
            return io.read >= 10 * kMiB;
        })) << run.Errors();
        // Halfway between what it has read and the end: a part still to come.
        Poke(work_ / input, read + (fs::file_size(work_ / input) - read) / 2);
        EXPECT_EQ(run.Wait(), Exited(1));
        EXPECT_NE(run.Errors().find("error: cannot read \"" + input +
                                    "\": The file changed while it was being read."),
                  std::string::npos)
            << run.Errors();
        EXPECT_EQ(FolderEntries(work_.path()), before);
        KeepOnly({});
    }
}

// A neighbour who puts a link to `victim` in place of the first hidden name that appears in
// the folder, moving what was there aside.
class HiddenNameSwapper : public testing::FolderNeighbour {
  public:
    HiddenNameSwapper(const fs::path& folder, const std::string& victim)
        : FolderNeighbour(folder, IN_CREATE | IN_MOVED_TO,
                          [folder, victim](const std::string& hidden) -> std::optional<bool> {
                              if (hidden[0] != '.') {
                                  return std::nullopt;
                              }
                              const fs::path name = folder / hidden;
                              return ::rename(name.c_str(), (folder / ".moved-aside").c_str()) ==
                                         0 &&
                                     ::symlink(victim.c_str(), name.c_str()) == 0;
                          }) {}
};

// Nothing a neighbour puts in the output's folder while a run works is written through,
// replaced or given out as the output.
TEST_F(CliProtection, NeighboursInTheOutputsFolderGetNothingOfTheRun) {
    WritePattern(work_ / "s", kSlowSize);
    SealForAlice(work_ / "s", work_ / "s.des", "-des3");
    const std::string victim = work_ / "victim";
    const Bytes precious = testing::RandomBytes(1000);
    enum class Neighbour { SwapsAHiddenName, LinksTheName, TakesTheName };
    const char* const kNeighbourNames[] = {"swaps a hidden name", "links the name",
                                           "takes the name"};
    for (bool encrypting : {true, false}) {
        const std::string output = encrypting ? "s.enc" : "t";
        const auto ours = [&] {
            return encrypting ? OpensTo(output, "s") : SameContent(work_ / output, work_ / "s");
        };
        for (Neighbour neighbour :
             {Neighbour::SwapsAHiddenName, Neighbour::LinksTheName, Neighbour::TakesTheName}) {
            SCOPED_TRACE(std::string(encrypting ? "encrypt" : "decrypt") + ", a neighbour who " +
                         kNeighbourNames[static_cast<int>(neighbour)]);
            testing::WriteBytes(victim, precious);
            const Names before = FolderEntries(work_.path());
            std::optional<HiddenNameSwapper> swapper;
            if (neighbour == Neighbour::SwapsAHiddenName) {
                swapper.emplace(work_.path(), victim);
            }
            Child run(encrypting ? Cli(Arguments(true, "s", output, {"--triple-des"}))
                                 : Cli(Arguments(false, "s.des", output)));
            if (neighbour != Neighbour::SwapsAHiddenName) {
                EXPECT_TRUE(
                    run.WaitUntil([](const IoCounts& io) { return io.read >= kSlowSize / 4; }));
                if (neighbour == Neighbour::LinksTheName) {
                    fs::create_symlink(victim, work_ / output);
                } else {
                    EXPECT_TRUE(testing::PlantFile(work_ / output, precious));
                }
            }
            const std::string ending = run.Wait();
            EXPECT_TRUE(testing::ReadBytes(victim) == precious);
            EXPECT_FALSE(fs::is_symlink(victim));
            Names expected = before;
            expected.insert(output);
            switch (neighbour) {
                case Neighbour::SwapsAHiddenName:
                    // A run that fails leaves nothing at the free name, one that succeeds its
                    // own output there; one that wrote under no name until done must succeed.
                    if (swapper->Finish() && ending != Exited(0)) {
                        EXPECT_EQ(ending, Exited(1)) << run.Errors();
                        EXPECT_FALSE(fs::exists(fs::symlink_status(work_ / output)));
                    } else {
                        EXPECT_EQ(ending, Exited(0)) << run.Errors();
                        EXPECT_FALSE(fs::is_symlink(work_ / output));
                        EXPECT_TRUE(ours());
                    }
                    break;
                case Neighbour::LinksTheName:
                    EXPECT_EQ(ending, Exited(1));
                    EXPECT_EQ(fs::read_symlink(work_ / output).string(), victim);
                    EXPECT_EQ(FolderEntries(work_.path()), expected);
                    break;
                case Neighbour::TakesTheName:
                    EXPECT_EQ(ending, Exited(1));
                    EXPECT_TRUE(testing::ReadBytes(work_ / output) == precious);
                    EXPECT_EQ(FolderEntries(work_.path()), expected);
                    break;
            }
            KeepOnly({"s", "s.des"});
        }
    }
}

}  // namespace
}  // namespace mirebolt
