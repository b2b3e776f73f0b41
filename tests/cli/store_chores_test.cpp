// The store's chores on the command line: other people's certificates put into the store and
// named as `store` shows them, one's own certificate handed out, PKCS #12 files imported without
// a terminal and hostile ones refused before anything is created; stores and modules that fail
// say so.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>

#include "cli/alices_home.h"
#include "support/pseudo_terminal.h"

namespace mirebolt {
namespace {

using testing::Bytes;
using testing::FixturePath;
using testing::ProgramResult;

void WriteLine(const std::string& path, const std::string& line) {
    const std::string text = line + "\n";
    testing::WriteBytes(path, Bytes(text.begin(), text.end()));
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class StoreChores : public testing::AlicesHomeWithLetter {
  protected:
    std::string Store() const { return home_.path() / ".pki/nssdb"; }

    // Run without a controlling terminal at all, as from a cron job: nothing can be asked.
    ProgramResult RunDetached(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"setsid", "-w", MIREBOLT_CLI});
        return testing::RunProgram(arguments, {"HOME=" + home_.path().string()},
                                   work_.path().string());
    }

    // A certificate another CA issued to someone who shares Carol's name.
    std::string OtherCarol() {
        const std::string pem = work_ / "other-carol.pem";
        const auto made = testing::RunCommand(
            {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
             work_ / "other-carol.key", "-subj", "/CN=Carol Cooper/O=Elsewhere", "-days", "30",
             "-addext", "basicConstraints=critical,CA:FALSE", "-addext",
             "keyUsage=critical,keyEncipherment", "-out", pem});
        EXPECT_EQ(made.exitCode, 0) << made.output;
        return pem;
    }
};

TEST_F(StoreChores, ImportedCertificatesAreRecipientsByTheNameTheStoreShows) {
    ProgramResult imported = Run({"import", FixturePath("carol.pem")});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_NE(imported.out.find("Added \"Carol Cooper\""), std::string::npos) << imported.out;
    ProgramResult again = Run({"import", FixturePath("three.p7b")});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("Already in the store: \"Carol Cooper\""), std::string::npos)
        << again.out;

    ProgramResult encrypted = Run({"encrypt", "-R", "Carol Cooper", "letter.txt"});
    ASSERT_EQ(encrypted.exitCode, 0) << encrypted.err;
    ProgramResult opened =
        Run({"--store", FixturePath("store-carol"), "--password-file",
             FixturePath("store-carol.password"), "decrypt", "-o", "carol.txt", "letter.txt.enc"});
    EXPECT_EQ(opened.exitCode, 0) << opened.err;
    EXPECT_EQ(testing::ReadBytes(work_ / "carol.txt"), content_);

    // Two people of one name: neither is taken, both are shown to choose from.
    ASSERT_EQ(Run({"import", OtherCarol()}).exitCode, 0);
    ProgramResult ambiguous = Run({"--yes", "encrypt", "-R", "Carol Cooper", "letter.txt"});
    EXPECT_EQ(ambiguous.exitCode, 1);
    EXPECT_NE(ambiguous.err.find("names 2 certificates"), std::string::npos) << ambiguous.err;
    EXPECT_EQ(Occurrences(ambiguous.err, "Carol Cooper  SHA-256 "), 2u) << ambiguous.err;
}

TEST_F(StoreChores, ImportingCertificatesCreatesAStoreOnlyForAFileThatHoldsSome) {
    const std::string fresh = work_ / "fresh";
    WriteLine(work_ / "new-password", "fresh-secret");
    ProgramResult notCertificates = Run(
        {"--store", fresh, "--password-file", "new-password", "import", FixturePath("text.pem")});
    EXPECT_EQ(notCertificates.exitCode, 1);
    ProgramResult noFile = Run({"--store", fresh, "import", "missing.pem"});
    EXPECT_EQ(noFile.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(fresh));

    ProgramResult created = Run(
        {"--store", fresh, "--password-file", "new-password", "import", FixturePath("three.pem")});
    ASSERT_EQ(created.exitCode, 0) << created.err;
    EXPECT_NE(created.out.find("Personal store created."), std::string::npos) << created.out;
    ProgramResult listing = Run({"--store", fresh, "store"});
    EXPECT_EQ(Occurrences(listing.out, "  Own key:   no\n"), 3u) << listing.out;
}

TEST_F(StoreChores, ExportHandsOutOnesOwnCertificateAsPeersReadIt) {
    ProgramResult pem = Run({"export"});
    ASSERT_EQ(pem.exitCode, 0) << pem.err;
    EXPECT_EQ(pem.out.rfind("-----BEGIN CERTIFICATE-----\n", 0), 0u) << pem.out;
    testing::WriteBytes(work_ / "alice-export.pem", Bytes(pem.out.begin(), pem.out.end()));
    const auto read = testing::RunCommand({"openssl", "x509", "-in", work_ / "alice-export.pem",
                                           "-outform", "DER", "-out", work_ / "via-openssl.der"});
    ASSERT_EQ(read.exitCode, 0) << read.output;
    EXPECT_EQ(testing::ReadBytes(work_ / "via-openssl.der"),
              testing::ReadBytes(FixturePath("alice.der")));

    ProgramResult der = Run({"export", "--der", "-o", "alice.cer"});
    ASSERT_EQ(der.exitCode, 0) << der.err;
    EXPECT_EQ(testing::ReadBytes(work_ / "alice.cer"),
              testing::ReadBytes(FixturePath("alice.der")));
    const auto sent = testing::RunCommand({"openssl", "cms", "-encrypt", "-binary", "-aes256",
                                           "-outform", "DER", "-in", work_ / "letter.txt", "-out",
                                           work_ / "to-alice.enc", work_ / "alice.cer"});
    ASSERT_EQ(sent.exitCode, 0) << sent.output;
    ProgramResult opened = Run({"decrypt", "-o", "from-peer.txt", "to-alice.enc"});
    EXPECT_EQ(opened.exitCode, 0) << opened.err;
    EXPECT_EQ(testing::ReadBytes(work_ / "from-peer.txt"), content_);

    // An existing file is replaced only when the person says so.
    testing::WriteBytes(work_ / "kept.cer", {'o', 'l', 'd'});
    EXPECT_EQ(Run({"export", "-o", "kept.cer"}).exitCode, 1);
    EXPECT_EQ(testing::ReadBytes(work_ / "kept.cer"), (Bytes{'o', 'l', 'd'}));

    // With a second key of one's own, export has to be told which.
    WriteLine(work_ / "p12-password", "fixture");
    ASSERT_EQ(
        Run({"import", "--p12-password-file", "p12-password", FixturePath("carol.p12")}).exitCode,
        0);
    ProgramResult which = Run({"export"});
    EXPECT_EQ(which.exitCode, 1);
    EXPECT_EQ(Occurrences(which.err, "  SHA-256 "), 2u) << which.err;
    ProgramResult named = Run({"export", "--der", "-R", "Carol Cooper"});
    EXPECT_EQ(named.exitCode, 0) << named.err;
    EXPECT_EQ(Bytes(named.out.begin(), named.out.end()),
              testing::ReadBytes(FixturePath("carol.der")));
}

TEST_F(StoreChores, Pkcs12ImportWithoutATerminalCreatesTheStoreOnlyOnceTheFileOpened) {
    const std::string fresh = work_ / "fresh";
    WriteLine(work_ / "store-password", "fresh-secret");
    WriteLine(work_ / "wrong", "not-the-password");
    WriteLine(work_ / "right", "fixture");
    ::chmod((work_ / "right").c_str(), 0600);
    ::chmod((work_ / "store-password").c_str(), 0600);
    // A named pipe that nothing writes to is refused after a moment, not waited on for ever.
    ASSERT_EQ(::mkfifo((work_ / "pipe").c_str(), 0600), 0);
    for (const char* password : {"", "wrong", "pipe"}) {
        std::vector<std::string> arguments{"--store",        fresh,    "--password-file",
                                           "store-password", "import", FixturePath("carol.p12")};
        if (*password != '\0') {
            arguments.push_back(std::string("--p12-password-file=") + password);
        }
        ProgramResult refused = RunDetached(arguments);
        EXPECT_EQ(refused.exitCode, 1) << password << ": " << refused.out << refused.err;
        EXPECT_FALSE(std::filesystem::exists(fresh)) << password << ": a store was left behind";
    }

    ProgramResult imported =
        RunDetached({"--store", fresh, "--password-file", "store-password", "import",
                     "--p12-password-file", "right", FixturePath("carol.p12")});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(imported.err, "");
    ProgramResult listing = Run({"--store", fresh, "store"});
    EXPECT_NE(listing.out.find("Carol Cooper\n"), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find("  Own key:   yes\n"), std::string::npos) << listing.out;
}

// carol.p12 with its MAC's iteration count raised to 2^31 - 1: NSS would spend minutes on it.
Bytes WithHugeMacIterationCount(Bytes pfx) {
    auto lengthAt = [&pfx](std::size_t at, std::size_t& header) {
        const std::size_t first = pfx.at(at + 1);
        if (first < 0x80) {
            header = 2;
            return first;
        }
        header = 2 + (first & 0x7F);
        std::size_t length = 0;
        for (std::size_t i = 2; i < header; ++i) {
            length = (length << 8) | pfx.at(at + i);
        }
        return length;
    };
    std::size_t header = 0;
    lengthAt(0, header);
    EXPECT_EQ(header, 4u) << "the PFX's length takes two bytes";
    std::size_t at = header;
    for (int skipped = 0; skipped < 2; ++skipped) {  // the version and the authenticated safe
        const std::size_t length = lengthAt(at, header);
        at += header + length;
    }
    const std::size_t macLength = lengthAt(at, header);
    EXPECT_EQ(header, 2u);
    const std::size_t end = at + header + macLength;
    EXPECT_EQ(end, pfx.size());
    EXPECT_EQ(Bytes(pfx.end() - 4, pfx.end()), (Bytes{0x02, 0x02, 0x08, 0x00}));
    pfx.resize(pfx.size() - 4);
    pfx.insert(pfx.end(), {0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF});
    pfx[at + 1] = static_cast<std::uint8_t>(pfx[at + 1] + 2);
    const std::size_t total = ((std::size_t{pfx[2]} << 8) | pfx[3]) + 2;
    pfx[2] = static_cast<std::uint8_t>(total >> 8);
    pfx[3] = static_cast<std::uint8_t>(total & 0xFF);
    return pfx;
}

TEST_F(StoreChores, AFileThatAsksForEndlessIterationsIsRefusedAtOnce) {
    testing::WriteBytes(work_ / "hostile.p12",
                        WithHugeMacIterationCount(testing::ReadBytes(FixturePath("carol.p12"))));
    const auto checked =
        testing::RunCommand({"openssl", "pkcs12", "-in", work_ / "hostile.p12", "-info", "-noout",
                             "-passin", "pass:fixture", "-nomacver"});
    ASSERT_EQ(checked.exitCode, 0)
        << "the patched file is still a PKCS #12 file: " << checked.output;
    WriteLine(work_ / "right", "fixture");
    const std::string fresh = work_ / "fresh";
    const auto start = std::chrono::steady_clock::now();
    ProgramResult refused = RunDetached(
        {"--store", fresh, "import", "--p12-password-file", "right", work_ / "hostile.p12"});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("2147483647 iterations"), std::string::npos) << refused.err;
    EXPECT_LT(took, std::chrono::seconds(1));
    EXPECT_FALSE(std::filesystem::exists(fresh));
}

TEST_F(StoreChores, AStoreThatIsNoFolderIsAnError) {
    const std::string pipe = work_ / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& store : {work_ / "letter.txt", std::string("/dev/null"), pipe}) {
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"store"},
              std::vector<std::string>{"decrypt", "-o", "x.txt", "letter.txt"},
              std::vector<std::string>{"import", FixturePath("bob.pem")}}) {
            std::vector<std::string> arguments{"--store", store};
            arguments.insert(arguments.end(), command.begin(), command.end());
            ProgramResult run = Run(arguments);
            EXPECT_EQ(run.exitCode, 1) << store << " " << command.front();
            EXPECT_NE(run.err.find("\"" + store + "\" is not a folder"), std::string::npos)
                << store << " " << command.front() << ": " << run.err;
        }
    }
    EXPECT_EQ(testing::ReadBytes(work_ / "letter.txt"), content_);
}

// The page of key4.db that holds Alice's key overwritten: the store finds the key but cannot
// use it, which is no fault of the message.
TEST_F(StoreChores, ADamagedKeyDatabaseIsTheStoresFailureNotTheMessages) {
    ASSERT_EQ(Run({"encrypt", "-r", FixturePath("alice.pem"), "letter.txt"}).exitCode, 0);
    const std::string keys = Store() + "/key4.db";
    Bytes database = testing::ReadBytes(keys);
    ASSERT_GE(database.size(), 3 * 4096u);
    std::fill(database.begin() + 2 * 4096, database.begin() + 3 * 4096, 0x5A);
    testing::WriteBytes(keys, database);

    ProgramResult failed = Run({"decrypt", "-o", "x.txt", "letter.txt.enc"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(
        failed.err.rfind(
            "mirebolt-cli: error: cannot open the certificate store \"" + Store() + "\": ", 0),
        0u)
        << failed.err;
    EXPECT_FALSE(std::filesystem::exists(work_ / "x.txt"));
}

TEST_F(StoreChores, AModuleSlowToStartIsNamedAndASignalEndsTheWait) {
    const auto registered =
        testing::RunCommand({"modutil", "-add", "Slow reader", "-libfile", MIREBOLT_SLOW_MODULE,
                             "-dbdir", "sql:" + Store(), "-force"});
    ASSERT_EQ(registered.exitCode, 0) << registered.output;
    ASSERT_EQ(Run({"encrypt", "-r", FixturePath("alice.pem"), "letter.txt"}).exitCode, 0);
    const std::vector<std::string> environment{"HOME=" + home_.path().string(),
                                               "SLOW_PKCS11_SECONDS=60"};
    for (const auto& [command, signal] :
         {std::pair{std::vector<std::string>{MIREBOLT_CLI, "store"}, SIGINT},
          std::pair{std::vector<std::string>{MIREBOLT_CLI, "decrypt", "-o", "-", "-"}, SIGTERM}}) {
        testing::PseudoTerminalProgram program(command, environment, work_.path().string());
        ASSERT_TRUE(program.started());
        EXPECT_TRUE(
            program.WaitFor("waiting for the module \"Slow reader\"", std::chrono::seconds(10)))
            << program.shown();
        const auto start = std::chrono::steady_clock::now();
        program.Signal(signal);
        EXPECT_EQ(program.Wait(std::chrono::seconds(10)), 128 + signal) << program.shown();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
}

}  // namespace
}  // namespace mirebolt
