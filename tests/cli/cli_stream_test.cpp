// mirebolt-cli with pipes and files larger than the window takes: read front to back in
// constant memory, and a failed or interrupted run leaves nothing under the output's name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "base/unique_fd.h"
#include "cli/alices_home.h"
#include "support/der_tree.h"

extern char** environ;

namespace mirebolt {
namespace {

// AddressSanitizer's shadow memory and quarantine swell every process of the sanitizer build, so
// only the ordinary build's peak memory says anything about the program.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasuresPeakMemory = false;
#else
constexpr bool kMeasuresPeakMemory = true;
#endif

using testing::Bytes;
using testing::FixturePath;

// A run of the program whose standard input the test writes, with what it cost.
class FedProgram {
  public:
    FedProgram(const std::vector<std::string>& arguments, const std::string& workingDirectory,
               const std::string& home) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return;
        }
        platform::UniqueFd readEnd(ends[0]);
        input_ = platform::UniqueFd(ends[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<std::string> variables{"HOME=" + home, "PATH=/usr/bin:/bin"};
        std::vector<char*> envp;
        for (std::string& variable : variables) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, readEnd.get(), 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
        if (::posix_spawn(&child_, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0) {
            child_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    ~FedProgram() {
        if (child_ > 0) {
            ::kill(child_, SIGKILL);
            Wait();
        }
    }

    void Feed(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t wrote = ::write(input_.get(), bytes.data() + done, bytes.size() - done);
            if (wrote <= 0) {
                return;
            }
            done += static_cast<std::size_t>(wrote);
        }
    }
    void EndInput() { input_.Reset(); }
    void Signal(int signal) { ::kill(child_, signal); }
    // The exit status, or 128 + the signal that ended the program.
    int Wait() {
        int status = 0;
        rusage usage{};
        while (::wait4(child_, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        child_ = -1;
        peakKiB_ = usage.ru_maxrss;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    long peakKiB() const { return peakKiB_; }

  private:
    platform::UniqueFd input_;
    pid_t child_ = -1;
    long peakKiB_ = 0;
};

class CliStreams : public testing::AlicesHome {
  protected:
    // Runs a shell pipeline in the work folder, the program's home being Alice's.
    testing::CommandResult Shell(const std::string& script) {
        return testing::RunCommand({"/bin/sh", "-c",
                                    "cd '" + work_.path().string() + "' && HOME='" +
                                        home_.path().string() + "' && export HOME && " + script});
    }

    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(work_.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    const std::string cli_ = MIREBOLT_CLI;
};

TEST_F(CliStreams, PipesRoundTripByteForByteEmptyInputToo) {
    const std::string key =
        " -recip " + FixturePath("alice.pem") + " -inkey " + FixturePath("alice.key");
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{3} * 1024 * 1024 + 5}) {
        testing::WriteBytes(work_ / "x", testing::RandomBytes(size));
        const testing::CommandResult piped =
            Shell("cat x | " + cli_ + " encrypt -r " + FixturePath("alice.pem") + " - 2>err | " +
                  cli_ + " decrypt - 2>>err | cmp - x && cat err");
        EXPECT_EQ(piped.exitCode, 0) << size << ": " << piped.output;
        // The data went to standard output; the success texts to standard error.
        EXPECT_NE(piped.output.find("File encrypted successfully."), std::string::npos);
        EXPECT_NE(piped.output.find("File decrypted successfully."), std::string::npos);
    }
    // Nothing to encrypt, from a file or a pipe, is a message that holds nothing, as openssl
    // reads it too.
    testing::WriteBytes(work_ / "empty", {});
    const testing::CommandResult empty =
        Shell(cli_ + " -q encrypt -r " + FixturePath("alice.pem") + " empty && : | " + cli_ +
              " -q encrypt -r " + FixturePath("alice.pem") + " - > piped.enc && " + cli_ +
              " -q decrypt -o out empty.enc && cmp out empty && for m in empty.enc "
              "piped.enc; do openssl cms -decrypt -binary -inform DER -in $m" +
              key + " | wc -c; done");
    EXPECT_EQ(empty.exitCode, 0) << empty.output;
    EXPECT_EQ(empty.output, "0\n0\n");
    EXPECT_EQ(testing::ReadBytes(work_ / "empty"), Bytes());
}

TEST_F(CliStreams, EachStepThatFailsHasItsOwnText) {
    testing::WriteBytes(work_ / "x", testing::RandomBytes(300'000));
    const std::string encrypt = cli_ + " encrypt -r " + FixturePath("alice.pem") + " -o - ";
    const std::string decrypt = cli_ + " decrypt -o - ";
    ASSERT_EQ(Shell(encrypt + "x > x.enc").exitCode, 0);
    const struct {
        const char* what;
        std::string script;
        std::string text;
    } cases[] = {
        {"reading a folder", encrypt + "- < . > out", "cannot read standard input: Is a directory"},
        {"reading a folder to decrypt", decrypt + "- < . > out",
         "cannot read standard input: Is a directory"},
        {"writing onto a full disk", encrypt + "x > /dev/full",
         "cannot write standard output: No space left on device"},
        {"writing decrypted data onto a full disk", decrypt + "x.enc > /dev/full",
         "cannot write standard output: No space left on device"},
        {"a message that is none", decrypt + "- < x > out",
         "cannot decrypt standard input: The file is not an encrypted message."},
        {"a broken store",
         cli_ + " --store=" + FixturePath("store-broken") + " decrypt -o - - < x.enc > out",
         "cannot open the certificate store \"" + FixturePath("store-broken") + "\": "},
        {"a broken store for -R",
         cli_ + " --store=" + FixturePath("store-broken") + " encrypt -R alice x",
         "cannot open the certificate store \"" + FixturePath("store-broken") + "\": "},
        {"a broken store to list", cli_ + " --store=" + FixturePath("store-broken") + " store",
         "cannot open the certificate store \"" + FixturePath("store-broken") + "\": "},
        {"an empty message", ": > e.enc && " + decrypt + "e.enc",
         "\"e.enc\" is empty: it holds no encrypted message"},
    };
    for (const auto& each : cases) {
        const testing::CommandResult run = Shell(each.script);
        EXPECT_EQ(run.exitCode, 1) << each.what;
        EXPECT_EQ(run.output.rfind("mirebolt-cli: error: " + each.text, 0), 0u)
            << each.what << ": " << run.output;
    }
}

TEST_F(CliStreams, DevicesPipesAndSeveralFilesAreTakenAsAUnixToolTakesThem) {
    const std::string encrypt = cli_ + " -q encrypt -r " + FixturePath("alice.pem") + " ";
    testing::WriteBytes(work_ / "a", testing::RandomBytes(5000));
    testing::WriteBytes(work_ / "c", testing::RandomBytes(7000));
    // A device and a pipe are written straight: no probe or temporary file beside them.
    const testing::CommandResult targets = Shell(
        encrypt + "-o /dev/null a && mkfifo fifo && (cat fifo > from-fifo &) && " + encrypt +
        "-o fifo a && sleep 0.2 && " + cli_ + " -q decrypt - < from-fifo | cmp - a && rm fifo " +
        "from-fifo && " + cli_ + " info - < /dev/null; echo \"info $?\"");
    EXPECT_NE(targets.output.find("mirebolt-cli: error: cannot describe standard input"),
              std::string::npos)
        << targets.output;
    EXPECT_NE(targets.output.find("info 1\n"), std::string::npos) << targets.output;
    EXPECT_EQ(Listing(), (std::vector<std::string>{"a", "c"}));

    // Each FILE to its own output; one missing fails alone and is named.
    const testing::CommandResult several = Shell(encrypt + "a missing c; echo \"status $?\"");
    EXPECT_EQ(several.output,
              "mirebolt-cli: error: cannot read \"missing\": No such file or directory\n"
              "status 1\n");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"a", "a.enc", "c", "c.enc"}));
    const testing::CommandResult described = Shell(cli_ + " info - < c.enc");
    EXPECT_EQ(described.exitCode, 0) << described.output;
    EXPECT_NE(described.output.find("Alice"), std::string::npos) << described.output;
    ASSERT_EQ(Shell("rm a c && " + cli_ + " -q decrypt a.enc c.enc").exitCode, 0);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"a", "a.enc", "c", "c.enc"}));

    // The longest name the system takes, and a folder where someone planted the probe's names.
    const std::string longest(255, 'n');
    const testing::CommandResult named =
        Shell("mkdir planted && for i in '' $(seq 1 99); do : > planted/x.enc_$i.xxx; done && " +
              encrypt + "-o " + longest + " a && " + encrypt +
              "-o planted/x.enc a && ls planted "
              "| wc -l");
    EXPECT_EQ(named.exitCode, 0) << named.output;
    EXPECT_EQ(named.output, "101\n");
    EXPECT_TRUE(std::filesystem::exists(work_ / longest));
}

TEST_F(CliStreams, AReaderThatLeavesEndsTheRunQuietlyBySigpipe) {
    testing::WriteBytes(work_ / "big", testing::RandomBytes(8 * 1024 * 1024));
    // The shell starts every command with SIGPIPE as the program's parent had it.
    const testing::CommandResult cut = Shell(
        cli_ + " -q encrypt -r " + FixturePath("alice.pem") + " big && (" + cli_ +
        " decrypt -o - big.enc 2>err; echo $? > status) | head -c 10 > /dev/null; cat status err");
    EXPECT_EQ(cut.output, "141\n");
    const testing::CommandResult ignored = Shell("trap '' PIPE; (" + cli_ +
                                                 " decrypt -o - big.enc; echo $? >&2) | head -c 10 "
                                                 "> /dev/null");
    EXPECT_EQ(ignored.output,
              "mirebolt-cli: error: cannot write standard output: Broken pipe\n1\n");
    // A listing that never reached its reader is no success either.
    const testing::CommandResult full = Shell(cli_ + " store > /dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(full.output,
              "mirebolt-cli: error: cannot write standard output: No space left on "
              "device\n");
}

TEST_F(CliStreams, BinaryIsNotWrittenOntoATerminal) {
    // script(1) gives the program a pseudo-terminal as standard output.
    const std::string encrypt = cli_ + " encrypt -r " + FixturePath("alice.pem");
    const testing::CommandResult refused =
        Shell("script -qec \"echo hi | " + encrypt + " -; echo status \\$?\" /dev/null");
    EXPECT_NE(refused.output.find("refusing to write a binary message to the terminal"),
              std::string::npos)
        << refused.output;
    EXPECT_NE(refused.output.find("status 1"), std::string::npos) << refused.output;
    const testing::CommandResult armoured =
        Shell("script -qec \"echo hi | " + encrypt + " --pem - 2>/dev/null\" /dev/null");
    EXPECT_NE(armoured.output.find("-----BEGIN CMS-----"), std::string::npos) << armoured.output;
}

TEST_F(CliStreams, OpensslReadsOurBerAndPemAndWeReadItsBer) {
    testing::WriteBytes(work_ / "x", testing::RandomBytes(2 * 1024 * 1024 + 77));
    const std::string key =
        " -recip " + FixturePath("alice.pem") + " -inkey " + FixturePath("alice.key");
    const testing::CommandResult ours =
        Shell("cat x | " + cli_ + " -q encrypt -r " + FixturePath("alice.pem") +
              " - | openssl cms -decrypt -binary -inform DER" + key + " | cmp - x");
    EXPECT_EQ(ours.exitCode, 0) << ours.output;

    const testing::CommandResult pem =
        Shell(cli_ + " -q encrypt --pem -r " + FixturePath("alice.pem") +
              " -o x.pem x && head -1 "
              "x.pem && openssl cms -decrypt -binary -inform PEM "
              "-in x.pem" +
              key + " | cmp - x");
    EXPECT_EQ(pem.exitCode, 0) << pem.output;
    EXPECT_EQ(pem.output, "-----BEGIN CMS-----\n");

    const testing::CommandResult theirs =
        Shell("openssl cms -encrypt -stream -binary -aes256 -outform DER -in x " +
              FixturePath("alice.pem") + " | " + cli_ + " -q decrypt -o - - | cmp - x");
    EXPECT_EQ(theirs.exitCode, 0) << theirs.output;
}

TEST_F(CliStreams, OpensslOpensGcmFromAFileAndFromAPipeWithRsaAndEcKeys) {
    testing::WriteBytes(work_ / "x", testing::RandomBytes(3 * 1024 * 1024 + 5));
    const std::string encrypt = cli_ + " -q encrypt --gcm -r " + FixturePath("alice.pem") + " -r " +
                                FixturePath("erin.pem");
    ASSERT_EQ(Shell(encrypt + " -o x.der x").exitCode, 0);
    ASSERT_EQ(Shell("cat x | " + encrypt + " - > x.ber").exitCode, 0);
    for (const char* message : {"x.der", "x.ber"}) {
        for (const std::string name : {"alice", "erin"}) {
            const testing::CommandResult opened = Shell(
                "openssl asn1parse -inform DER -in " + std::string(message) +
                " | grep -c 'aes-256-gcm\\|authEnvelopedData' && openssl cms -decrypt -binary "
                "-inform DER -in " +
                message + " -recip " + FixturePath(name + ".pem") + " -inkey " +
                FixturePath(name + ".key") + " | cmp - x");
            EXPECT_EQ(opened.exitCode, 0) << message << " for " << name << ": " << opened.output;
            EXPECT_EQ(opened.output, "2\n") << message;
        }
    }
}

// What one run of the program took.
struct Measured {
    int exitCode;
    long peakKiB;
    double seconds;
};

// The program run with its peak memory and wall time measured, standard input empty.
Measured Measure(const std::vector<std::string>& arguments, const std::string& work,
                 const std::string& home) {
    const auto started = std::chrono::steady_clock::now();
    FedProgram program(arguments, work, home);
    program.EndInput();
    const int exitCode = program.Wait();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    return {exitCode, program.peakKiB(), took.count()};
}

TEST_F(CliStreams, AGibibyteIsEncryptedAndDecryptedInLittleMemoryAndOpensslAgrees) {
    // Sized by MIREBOLT_LARGE_MIB (default 1024): well above the window's 100 MB.
    const char* mib = std::getenv("MIREBOLT_LARGE_MIB");
    const std::string size = mib != nullptr ? mib : "1024";
    const std::string key =
        " -recip " + FixturePath("alice.pem") + " -inkey " + FixturePath("alice.key");
    ASSERT_EQ(Shell("head -c " + size + "M /dev/urandom > big").exitCode, 0);
    const auto measure = [&](std::vector<std::string> arguments, const char* what) {
        arguments.insert(arguments.begin(), {cli_, "-q"});
        const Measured run = Measure(arguments, work_.path().string(), home_.path().string());
        EXPECT_EQ(run.exitCode, 0) << what;
        if (kMeasuresPeakMemory) {
            EXPECT_LT(run.peakKiB, 32 * 1024) << "peak memory of " << what << ", KiB";
        }
        return run;
    };

    const Measured encrypted =
        measure({"encrypt", "-r", FixturePath("alice.pem"), "big"}, "encrypting");
    const testing::CommandResult opened =
        Shell("openssl cms -decrypt -binary -inform DER -in big.enc" + key + " | cmp - big");
    EXPECT_EQ(opened.exitCode, 0) << opened.output;

    ASSERT_EQ(Shell("rm big.enc && openssl cms -encrypt -stream -binary -aes256 -outform DER "
                    "-in big -out big.enc " +
                    FixturePath("alice.pem"))
                  .exitCode,
              0);
    const Measured decrypted = measure({"decrypt", "big.enc", "-o", "big.out"}, "decrypting");
    EXPECT_EQ(Shell("cmp big big.out").exitCode, 0);
    std::printf("%s MiB: encrypt %.1f s, peak %ld KiB; decrypt %.1f s, peak %ld KiB\n",
                size.c_str(), encrypted.seconds, encrypted.peakKiB, decrypted.seconds,
                decrypted.peakKiB);
}

// Key-agreement entries that each name thousands of recipients beside a large originator key
// and keying material are read in little memory, by decrypt and by info: what the recipients
// of one entry share is held once, and no more of them are kept than each command needs.
TEST_F(CliStreams, ManyKeyAgreementEntriesAreReadInLittleMemory) {
    using testing::DerNode;
    const std::string peers = MIREBOLT_PEER_MESSAGES;
    DerNode parsed = DerNode::Parse(testing::ReadBytes(peers + "/ec-p256-default.der"));
    std::vector<DerNode>& infos = parsed[1][0][1].children;
    const DerNode real = infos.front();  // Erin's, with her one encrypted key
    ASSERT_EQ(real.tag, 0xA1);
    constexpr std::size_t kLargestEntry = 64 * 1024;
    for (int i = 0; i < 16; ++i) {
        DerNode crafted = real;
        Bytes point{0x00};
        const Bytes random = testing::RandomBytes(1000);
        point.insert(point.end(), random.begin(), random.end());
        crafted[1][0][1].content = point;
        crafted.children.insert(crafted.children.begin() + 2,
                                DerNode{0xA1, {}, {DerNode{0x04, testing::RandomBytes(1000), {}}}});
        // Recipients named by a key identifier no one has, as raw bytes: a tree of thousands of
        // nodes would swell this process, whose size the child's peak may include.
        const Bytes other =
            DerNode{0x30,
                    {},
                    {DerNode{0xA0, {}, {DerNode{0x04, {0x01}, {}}}}, DerNode{0x04, {0x02}, {}}}}
                .Encode();
        const std::size_t count = (kLargestEntry - crafted.Encode().size() - 100) / other.size();
        Bytes keys;
        for (std::size_t k = 0; k < count; ++k) {
            keys.insert(keys.end(), other.begin(), other.end());
        }
        crafted.children.back().children = {DerNode::Raw(keys)};
        infos.insert(infos.begin(), crafted);
    }
    testing::WriteBytes(work_ / "storm.der", parsed.Encode());

    const std::string store = FixturePath("store-erin");
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"decrypt", "storm.der", "-o", "storm.out"},
          std::vector<std::string>{"info", "storm.der"}}) {
        std::vector<std::string> arguments{cli_, "-q", "--store", store};
        arguments.insert(arguments.end(), command.begin(), command.end());
        const Measured run = Measure(arguments, work_.path().string(), home_.path().string());
        EXPECT_EQ(run.exitCode, 0) << command.front();
        if (kMeasuresPeakMemory) {
            EXPECT_LT(run.peakKiB, 64 * 1024) << "peak memory of " << command.front() << ", KiB";
        }
        std::printf("%s of %zu bytes of key-agreement entries: %.2f s, peak %ld KiB\n",
                    command.front().c_str(), parsed.Encode().size(), run.seconds, run.peakKiB);
    }
    EXPECT_EQ(testing::ReadBytes(work_ / "storm.out"), testing::ReadBytes(peers + "/plain"));
}

TEST_F(CliStreams, AnInterruptedOrTruncatedDecryptLeavesNothingUnderTheOutputsName) {
    const Bytes content = testing::RandomBytes(4 * 1024 * 1024);
    testing::WriteBytes(work_ / "x", content);
    ASSERT_EQ(Shell(cli_ + " -q encrypt -r " + FixturePath("alice.pem") + " x").exitCode, 0);
    std::filesystem::remove(work_ / "x");
    const Bytes message = testing::ReadBytes(work_ / "x.enc");
    const std::vector<std::string> before = Listing();

    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        FedProgram interrupted({cli_, "decrypt", "-o", "x", "-"}, work_.path().string(),
                               home_.path().string());
        interrupted.Feed(Bytes(message.begin(), message.begin() + message.size() / 2));
        // Long enough for content to have reached the temporary file.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        interrupted.Signal(signal);
        EXPECT_EQ(interrupted.Wait(), 128 + signal);
        EXPECT_EQ(Listing(), before) << strsignal(signal);
    }

    FedProgram truncated({cli_, "decrypt", "-o", "x", "-"}, work_.path().string(),
                         home_.path().string());
    truncated.Feed(Bytes(message.begin(), message.end() - 100));
    truncated.EndInput();
    EXPECT_EQ(truncated.Wait(), 1);
    EXPECT_EQ(Listing(), before);
}

}  // namespace
}  // namespace mirebolt
