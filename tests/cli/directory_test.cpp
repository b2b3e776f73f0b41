// Recipients from an organisation's directory: a real OpenLDAP server of the test's own, on a
// free port of 127.0.0.1, with a private configuration and entries that carry certificates.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "cli/alices_home.h"
#include "directory/filter_value.h"
#include "support/json_fields.h"

namespace mirebolt {
namespace {

using testing::FixturePath;
using testing::ProgramResult;

constexpr char kSlapd[] = "/usr/sbin/slapd";
constexpr char kBase[] = "dc=example,dc=org";
constexpr char kReaderPassword[] = "read only, please";

std::string Base64(const std::string& path) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const testing::Bytes bytes = testing::ReadBytes(path);
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        const unsigned group =
            bytes[i] << 16 | (left > 1 ? bytes[i + 1] << 8 : 0) | (left > 2 ? bytes[i + 2] : 0);
        text += kDigits[group >> 18 & 63];
        text += kDigits[group >> 12 & 63];
        text += left > 1 ? kDigits[group >> 6 & 63] : '=';
        text += left > 2 ? kDigits[group & 63] : '=';
    }
    return text;
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream file(path);
    file << text;
    std::filesystem::permissions(
        path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

std::string Person(const std::string& name, const std::string& mail,
                   const std::vector<std::string>& certificates) {
    std::string entry = "dn: cn=" + name + "," + kBase +
                        "\nobjectClass: inetOrgPerson\ncn: " + name +
                        "\nsn: " + name.substr(name.find(' ') + 1) + "\nmail: " + mail + "\n";
    for (const std::string& certificate : certificates) {
        entry += "userCertificate;binary:: " + Base64(FixturePath(certificate)) + "\n";
    }
    return entry + "\n";
}

// A port no one listens on at the moment of asking.
int FreePort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(probe);
    return ntohs(address.sin_port);
}

bool Accepts(int port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected =
        ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}

// slapd on its own configuration and database in a temporary folder, in the foreground, ended
// with the object.
class Directory {
  public:
    Directory() {
        const std::string database = folder_ / "db";
        std::filesystem::create_directory(database);
        MakeServerCertificate();
        std::ofstream(folder_ / "slapd.conf")
            << "include /etc/ldap/schema/core.schema\n"
               "include /etc/ldap/schema/cosine.schema\n"
               "include /etc/ldap/schema/inetorgperson.schema\n"
               "modulepath /usr/lib/ldap\nmoduleload back_mdb\n"
            << "TLSCACertificateFile " << CaPath() << "\nTLSCertificateFile "
            << (folder_ / "server.pem") << "\nTLSCertificateKeyFile " << (folder_ / "server.key")
            << "\n"
            << "database mdb\nmaxsize 10485760\nsuffix \"" << kBase << "\"\ndirectory " << database
            << "\n";
        std::ofstream(folder_ / "entries.ldif")
            << "dn: " << kBase << "\nobjectClass: dcObject\nobjectClass: organization\n"
            << "o: Example\ndc: example\n\n"
            << Person("Bob Baker", "bob@example.org", {"bob.der"})
            << Person("Carol Cooper", "carol@example.org", {"dave.der", "carol.der", "erin.der"})
            << Person("Dave Expired", "dave@example.org", {"dave.der"})
            << Person("Nora Nocert", "nora@example.org", {}) << "dn: cn=Reader," << kBase
            << "\nobjectClass: person\ncn: Reader\nsn: Reader\n"
            << "userPassword: " << kReaderPassword << "\n\n";
        const testing::CommandResult loaded = testing::RunCommand(
            {"/usr/sbin/slapadd", "-f", folder_ / "slapd.conf", "-l", folder_ / "entries.ldif"});
        EXPECT_EQ(loaded.exitCode, 0) << loaded.output;
        port_ = FreePort();
        const std::string listen = "ldap://127.0.0.1:" + std::to_string(port_) + "/";
        const std::string log = folder_ / "slapd.log";
        const std::string configuration = folder_ / "slapd.conf";
        pid_ = ::fork();
        if (pid_ == 0) {
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            // -d keeps it in the foreground, a child of ours.
            ::execl(kSlapd, kSlapd, "-f", configuration.c_str(), "-h", listen.c_str(), "-d", "0",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100 && !Accepts(port_); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ~Directory() {
        Continue();
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    bool running() const { return Accepts(port_); }
    // The authority that issued the server's certificate, for 127.0.0.1.
    std::string CaPath() const { return folder_ / "ca.pem"; }
    std::string address() const {
        return "ldap://127.0.0.1:" + std::to_string(port_) + "/" + kBase;
    }
    // Stopped, it still takes connections (the system does) and answers nothing.
    void Stop() { ::kill(pid_, SIGSTOP); }
    void Continue() { ::kill(pid_, SIGCONT); }

  private:
    void MakeServerCertificate() {
        const auto run = [](const std::vector<std::string>& arguments) {
            const testing::CommandResult made = testing::RunCommand(arguments);
            EXPECT_EQ(made.exitCode, 0) << made.output;
        };
        const std::string ec = "ec_paramgen_curve:prime256v1";
        run({"openssl", "req",
             "-x509",   "-newkey",
             "ec",      "-pkeyopt",
             ec,        "-nodes",
             "-keyout", folder_ / "ca.key",
             "-out",    folder_ / "ca.pem",
             "-days",   "2",
             "-subj",   "/CN=Directory Test CA",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign"});
        run({"openssl", "req", "-newkey", "ec", "-pkeyopt", ec, "-nodes", "-keyout",
             folder_ / "server.key", "-out", folder_ / "server.csr", "-subj", "/CN=127.0.0.1"});
        std::ofstream(folder_ / "server.ext") << "subjectAltName=IP:127.0.0.1\n";
        run({"openssl", "x509", "-req", "-in", folder_ / "server.csr", "-CA", folder_ / "ca.pem",
             "-CAkey", folder_ / "ca.key", "-CAcreateserial", "-days", "2", "-extfile",
             folder_ / "server.ext", "-out", folder_ / "server.pem"});
    }

    testing::TempDir folder_;
    int port_ = 0;
    pid_t pid_ = -1;
};

class DirectoryRecipients : public testing::AlicesHomeWithLetter {
  protected:
    static void SetUpTestSuite() {
        if (::access(kSlapd, X_OK) == 0) {
            directory_ = new Directory;
        }
    }
    static void TearDownTestSuite() {
        delete directory_;
        directory_ = nullptr;
    }
    void SetUp() override {
        if (directory_ == nullptr) {
            GTEST_SKIP() << "slapd (Debian's package slapd) is not installed";
        }
        ASSERT_TRUE(directory_->running()) << "slapd did not start";
        AlicesHomeWithLetter::SetUp();
    }

    ProgramResult Encrypt(const std::string& address) {
        return Run({"encrypt", "--directory=" + directory_->address(), "-R", address, "-o",
                    "letter.enc", "letter.txt"});
    }

    static Directory* directory_;
};

Directory* DirectoryRecipients::directory_ = nullptr;

TEST_F(DirectoryRecipients, BobsCertificateFromTheDirectoryOpensWithBobsKey) {
    const std::string storeBefore = Run({"store", "--json"}).out;
    const ProgramResult result = Encrypt("bob@example.org");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("from the directory for \"bob@example.org\": \"Bob Baker\""),
              std::string::npos)
        << result.err;
    const testing::CommandResult opened = testing::RunCommand(
        {"openssl", "cms", "-decrypt", "-inform", "DER", "-in", work_ / "letter.enc", "-inkey",
         FixturePath("bob.key"), "-recip", FixturePath("bob.pem"), "-out", work_ / "opened"});
    ASSERT_EQ(opened.exitCode, 0) << opened.output;
    EXPECT_EQ(testing::ReadBytes(work_ / "opened"), content_);
    // Nothing the directory gave is kept.
    EXPECT_EQ(Run({"store", "--json"}).out, storeBefore);
}

TEST_F(DirectoryRecipients, OfSeveralCertificatesTheUsableAreTakenAndTheExpiredLeftOut) {
    const ProgramResult several = Encrypt("carol@example.org");
    ASSERT_EQ(several.exitCode, 0) << several.err;
    EXPECT_NE(several.err.find("\"Dave Expired\""), std::string::npos) << several.err;
    EXPECT_NE(several.err.find("is left out: Expired"), std::string::npos) << several.err;
    EXPECT_NE(several.err.find(": \"Carol Cooper\""), std::string::npos) << several.err;
    EXPECT_NE(several.err.find(": \"Erin Elliptic\""), std::string::npos) << several.err;
    const testing::CommandResult listed = testing::RunCommand(
        {"openssl", "cms", "-cmsout", "-print", "-inform", "DER", "-in", work_ / "letter.enc"});
    EXPECT_EQ(listed.output.find("Dave Expired"), std::string::npos);

    const ProgramResult expired = Encrypt("dave@example.org");
    EXPECT_EQ(expired.exitCode, 1);
    EXPECT_NE(expired.err.find("holds no usable certificate for \"dave@example.org\""),
              std::string::npos)
        << expired.err;
    EXPECT_NE(expired.err.find("\"Dave Expired\" (SHA-256 "), std::string::npos) << expired.err;
    EXPECT_NE(expired.err.find("Expired 2021-01-01"), std::string::npos) << expired.err;
}

TEST_F(DirectoryRecipients, NoEntryAndNoCertificateNameTheAddressAndTheDirectory) {
    const std::string where = directory_->address();
    const ProgramResult nobody = Encrypt("nobody@example.org");
    EXPECT_EQ(nobody.exitCode, 1);
    EXPECT_NE(
        nobody.err.find("the directory " + where + " has no entry for \"nobody@example.org\""),
        std::string::npos)
        << nobody.err;
    const ProgramResult nora = Encrypt("nora@example.org");
    EXPECT_EQ(nora.exitCode, 1);
    EXPECT_NE(
        nora.err.find("the directory " + where + " holds no certificate for \"nora@example.org\""),
        std::string::npos)
        << nora.err;
    // A filter's own characters in the address match nothing more than the address itself.
    const ProgramResult wildcard = Encrypt("*");
    EXPECT_NE(wildcard.err.find("has no entry for \"*\""), std::string::npos) << wildcard.err;
    EXPECT_EQ(directory::EscapedFilterValue("a*(b)\\c"), "a\\2a\\28b\\29\\5cc");
}

TEST_F(DirectoryRecipients, AServerThatIsStoppedOrGoneFailsWithinFiveSeconds) {
    directory_->Stop();
    const auto start = std::chrono::steady_clock::now();
    const ProgramResult hung = Encrypt("bob@example.org");
    const auto took = std::chrono::steady_clock::now() - start;
    directory_->Continue();
    EXPECT_EQ(hung.exitCode, 1);
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_NE(hung.err.find("did not answer within"), std::string::npos) << hung.err;

    const ProgramResult gone =
        Run({"lookup", "--directory=ldap://127.0.0.1:" + std::to_string(FreePort()) + "/" + kBase,
             "bob@example.org"});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_NE(gone.err.find("the server cannot be reached"), std::string::npos) << gone.err;
}

TEST_F(DirectoryRecipients, StartTlsHoldsOnlyWithTheServersAuthority) {
    const std::vector<std::string> lookup = {MIREBOLT_CLI, "lookup", "--starttls",
                                             "--directory=" + directory_->address(),
                                             "bob@example.org"};
    const std::string home = "HOME=" + home_.path().string();
    const ProgramResult trusted = testing::RunProgram(
        lookup, {home, "LDAPTLS_CACERT=" + directory_->CaPath()}, work_.path().string());
    EXPECT_EQ(trusted.exitCode, 0) << trusted.err;
    EXPECT_EQ(trusted.out.rfind("Bob Baker\n", 0), 0u) << trusted.out;
    // The system's authorities know nothing of the test's: the connection is refused.
    const ProgramResult unknown = testing::RunProgram(lookup, {home}, work_.path().string());
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("the TLS handshake failed"), std::string::npos) << unknown.err;
    EXPECT_EQ(unknown.out, "");
}

TEST_F(DirectoryRecipients, ABindTakesItsPasswordFromTheFileNamed) {
    WriteFile(work_ / "right", std::string(kReaderPassword) + "\n");
    WriteFile(work_ / "wrong", "guessed\n");
    const auto lookUp = [&](const std::string& passwordFile) {
        return Run({"lookup", "--directory=" + directory_->address(),
                    std::string("--bind-dn=cn=Reader,") + kBase, "--bind-password-file",
                    passwordFile, "bob@example.org"});
    };
    const ProgramResult right = lookUp("right");
    EXPECT_EQ(right.exitCode, 0) << right.err;
    EXPECT_EQ(right.out.rfind("Bob Baker\n", 0), 0u) << right.out;
    EXPECT_NE(right.err.find("goes to the directory unencrypted"), std::string::npos);
    const ProgramResult wrong = lookUp("wrong");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("the bind as \"cn=Reader," + std::string(kBase) +
                             "\" failed: Invalid credentials"),
              std::string::npos)
        << wrong.err;
}

TEST_F(DirectoryRecipients, LookupAsJsonHasEachCertificateWithItsStatus) {
    const ProgramResult result = testing::RunProgram(
        {MIREBOLT_CLI, "lookup", "--json", "carol@example.org"},
        {"HOME=" + home_.path().string(), "MIREBOLT_DIRECTORY=" + directory_->address()},
        work_.path().string());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto fields = testing::JsonFields(result.out);
    ASSERT_TRUE(fields) << result.out;
    EXPECT_EQ(fields->at("certificates.0.name"), "Dave Expired");
    EXPECT_EQ(fields->at("certificates.0.fit"), "false");
    EXPECT_EQ(fields->at("certificates.1.name"), "Carol Cooper");
    EXPECT_EQ(fields->at("certificates.1.status"), "Valid");
    EXPECT_EQ(fields->at("certificates.1.fit"), "true");
    EXPECT_EQ(fields->at("certificates.2.name"), "Erin Elliptic");
    EXPECT_EQ(fields->count("certificates.3.name"), 0u);
}

}  // namespace
}  // namespace mirebolt
