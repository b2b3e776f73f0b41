// Recipients checked before they are used: unfit certificates refused with their reasons, doubts
// warned about, and revocation asked of an OCSP responder only when the person wants it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/unique_fd.h"
#include "cli/alices_home.h"

namespace mirebolt {
namespace {

using testing::FixturePath;
using testing::ProgramResult;
using testing::RunCommand;

class RecipientChecks : public testing::AlicesHomeWithLetter {};

// Alice's store trusts the test CA for e-mail and holds its CRL, which revokes Rita.
TEST_F(RecipientChecks, UnfitCertificatesAreRefusedWithTheirReasonUnlessAllowed) {
    const struct {
        const char* file;
        const char* name;
        const char* reason;
    } kCases[] = {
        {"dave.pem", "Dave Expired", "Expired 2021-01-01"},
        {"nina.pem", "Nina Notyet", "Not valid before 2099-01-01"},
        {"frank.pem", "Frank Signer", "Signing only"},
        {"cass.pem", "Cass Authority", "A certificate authority's certificate"},
        {"rita.pem", "Rita Revoked", "Revoked"},
    };
    for (const auto& each : kCases) {
        ProgramResult refused = Run({"encrypt", "-r", FixturePath("alice.pem"), "-r",
                                     FixturePath(each.file), "letter.txt"});
        EXPECT_EQ(refused.exitCode, 1) << each.file;
        EXPECT_NE(refused.err.find(std::string("\"") + each.name + "\""), std::string::npos)
            << refused.err;
        EXPECT_NE(refused.err.find(each.reason), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("--allow-invalid"), std::string::npos) << refused.err;
        EXPECT_FALSE(std::filesystem::exists(work_ / "letter.txt.enc")) << each.file;

        ProgramResult allowed =
            Run({"encrypt", "--allow-invalid", "-r", FixturePath(each.file), "letter.txt"});
        EXPECT_EQ(allowed.exitCode, 0) << allowed.err;
        EXPECT_NE(allowed.err.find(each.reason), std::string::npos) << "still told";
        std::filesystem::remove(work_ / "letter.txt.enc");
    }

    ProgramResult fromTheStore = Run({"encrypt", "-R", "frank", "letter.txt"});
    EXPECT_EQ(fromTheStore.exitCode, 1);
    EXPECT_NE(fromTheStore.err.find("Signing only"), std::string::npos) << fromTheStore.err;
}

TEST_F(RecipientChecks, AnUntrustedPathIsOnlyAWarning) {
    testing::TempDir empty;  // a store that trusts nothing
    ProgramResult encrypted = Run(
        {"--store", empty.path().string(), "encrypt", "-r", FixturePath("bob.pem"), "letter.txt"});
    EXPECT_EQ(encrypted.exitCode, 0) << encrypted.err;
    EXPECT_EQ(encrypted.err, "mirebolt-cli: warning: the certificate \"Bob Baker\" (from " +
                                 FixturePath("bob.pem") + "): Not trusted\n");
    EXPECT_TRUE(std::filesystem::exists(work_ / "letter.txt.enc"));
}

TEST_F(RecipientChecks, ListingsShowEachCertificatesStatus) {
    ProgramResult certs = Run({"certs", FixturePath("rita.pem")});
    EXPECT_EQ(certs.exitCode, 0) << certs.err;
    EXPECT_NE(certs.out.find("  Status:    Revoked\n"), std::string::npos) << certs.out;

    ProgramResult store = Run({"store"});
    EXPECT_EQ(store.exitCode, 0) << store.err;
    EXPECT_NE(store.out.find("Alice Archer\n  Subject:"), std::string::npos) << store.out;
    EXPECT_NE(store.out.find("  Status:    Valid\n"), std::string::npos) << store.out;
    EXPECT_NE(store.out.find("  Status:    Signing only\n"), std::string::npos) << store.out;

    ASSERT_EQ(Run({"encrypt", "-r", FixturePath("alice.pem"), "letter.txt"}).exitCode, 0);
    ProgramResult info = Run({"info", "letter.txt.enc"});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("     Status: Valid\n"), std::string::npos) << info.out;
}

// A port no one listens on at the moment.
int FreePort() {
    const platform::UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    return ntohs(address.sin_port);
}

// openssl's OCSP responder on 127.0.0.1, answering from a CA's index; stopped when it goes.
class OcspResponder {
  public:
    OcspResponder(const std::string& folder, int port) : log_(folder + "/responder.log") {
        const std::string portText = std::to_string(port);
        std::vector<std::string> words = {"openssl",  "ocsp",
                                          "-index",   folder + "/index.txt",
                                          "-port",    portText,
                                          "-CA",      FixturePath("ca.pem"),
                                          "-rsigner", FixturePath("ca.pem"),
                                          "-rkey",    FixturePath("ca.key"),
                                          "-nmin",    "10"};
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log_.c_str(), O_WRONLY | O_CREAT, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (::posix_spawnp(&pid_, "openssl", &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        // Not asked by a connection of ours: it serves one at a time, and an empty one stalls it.
        for (int wait = 0; pid_ > 0 && wait < 100 &&
                           log().find("waiting for OCSP client connections") == std::string::npos;
             ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    OcspResponder(const OcspResponder&) = delete;
    OcspResponder& operator=(const OcspResponder&) = delete;
    ~OcspResponder() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool running() const { return pid_ > 0; }
    // What it wrote, to tell why it answered as it did.
    std::string log() const {
        if (!std::filesystem::exists(log_)) {
            return {};
        }
        const testing::Bytes bytes = testing::ReadBytes(log_);
        return std::string(bytes.begin(), bytes.end());
    }

  private:
    std::string log_;
    pid_t pid_ = -1;
};

TEST_F(RecipientChecks, AnOcspResponderThatSaysRevokedRefusesOnlyWhenAsked) {
    const int port = FreePort();
    ASSERT_GT(port, 0);
    // The CA issues Owen a certificate that names its responder, then revokes it there.
    testing::TempDir ca;
    {
        std::ofstream extensions(ca / "owen.ext");
        extensions << "basicConstraints = CA:false\n"
                      "keyUsage = critical, keyEncipherment\n"
                      "authorityInfoAccess = OCSP;URI:http://127.0.0.1:"
                   << port << "/\n";
    }
    ASSERT_EQ(RunCommand({"openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout",
                          ca / "owen.key", "-out", ca / "owen.csr", "-subj",
                          "/O=Mirebolt Tests/CN=Owen Online"})
                  .exitCode,
              0);
    ASSERT_EQ(
        RunCommand({"openssl", "x509", "-req", "-in", ca / "owen.csr", "-CA", FixturePath("ca.pem"),
                    "-CAkey", FixturePath("ca.key"), "-set_serial", "0x4F57", "-days", "30",
                    "-extfile", ca / "owen.ext", "-out", ca / "owen.pem"})
            .exitCode,
        0);
    {
        std::ofstream index(ca / "index.txt");
        index << "R\t491231235959Z\t240101000000Z,keyCompromise\t4F57\tunknown\t"
                 "/O=Mirebolt Tests/CN=Owen Online\n";
    }
    const OcspResponder responder(ca.path().string(), port);
    ASSERT_TRUE(responder.running());

    ProgramResult offline = Run({"encrypt", "-r", ca / "owen.pem", "letter.txt"});
    EXPECT_EQ(offline.exitCode, 0) << "no network unless asked: " << offline.err;
    std::filesystem::remove(work_ / "letter.txt.enc");

    ProgramResult online =
        Run({"encrypt", "--check-revocation", "-r", ca / "owen.pem", "letter.txt"});
    EXPECT_EQ(online.exitCode, 1) << online.err << responder.log();
    EXPECT_NE(online.err.find("\"Owen Online\""), std::string::npos) << online.err;
    EXPECT_NE(online.err.find("Revoked"), std::string::npos) << online.err;
    EXPECT_FALSE(std::filesystem::exists(work_ / "letter.txt.enc"));
}

}  // namespace
}  // namespace mirebolt
