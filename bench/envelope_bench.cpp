// Encrypts and decrypts one large file through the core and, in the same run and on the same
// file, with `openssl cms`; prints wall time and peak memory of each and the ratios. Each run
// is a process of its own, so that its peak memory is its own; the best of three counts.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/byte_stream.h"
#include "base/system_error.h"
#include "cms/envelope.h"
#include "cms/open_envelope.h"
#include "nss/certificate_file.h"
#include "nss/cms_algorithms.h"
#include "nss/nss_runtime.h"
#include "protection/input_file.h"
#include "protection/output_file.h"
#include "support/child_process.h"

namespace {

using namespace mirebolt;
using Clock = std::chrono::steady_clock;

struct Measure {
    double seconds = 0;      // the whole process, start to end
    double coreSeconds = 0;  // for our runs: from the opened file to the filled buffer
    double peakMiB = 0;
    double cpuSeconds = 0;  // user and system time: what a loaded machine does not inflate
    bool ok = false;
};

// Runs `work` in a child process; it gives back the seconds of its core part, or a negative
// number on failure.
Measure InChild(const std::function<double()>& work) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return {};
    }
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        const double core = work();
        platform::NssRuntime::Shutdown();
        const ssize_t written = ::write(pipeEnds[1], &core, sizeof core);
        ::_exit(core >= 0 && written == sizeof core ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    double core = -1;
    if (::read(pipeEnds[0], &core, sizeof core) != sizeof core) {
        core = -1;
    }
    ::close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    Measure measure;
    measure.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    measure.coreSeconds = core;
    measure.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    measure.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    measure.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && core >= 0;
    return measure;
}

Measure Program(const std::vector<std::string>& arguments) {
    testing::ChildSetup setup;
    setup.arguments = arguments;
    setup.standardError = STDERR_FILENO;
    const auto start = Clock::now();
    const testing::ChildOutcome outcome = testing::RunChild(setup);
    Measure measure;
    measure.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    measure.peakMiB = static_cast<double>(outcome.usage.ru_maxrss) / 1024.0;
    measure.ok = outcome.started && outcome.exitCode == 0;
    return measure;
}

Measure Best(const std::function<Measure()>& run) {
    Measure best;
    for (int i = 0; i < 3; ++i) {
        Measure m = run();
        if (!m.ok) {
            return m;
        }
        if (!best.ok || m.seconds < best.seconds) {
            best = m;
        }
    }
    return best;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The run with the fastest core part, for comparisons of the core alone.
Measure BestCore(const std::function<Measure()>& run) {
    Measure best;
    for (int i = 0; i < 5; ++i) {
        Measure m = run();
        if (!m.ok) {
            return m;
        }
        if (!best.ok || m.coreSeconds < best.coreSeconds) {
            best = m;
        }
    }
    return best;
}

double EncryptWithCore(const std::string& plain, const std::vector<std::string>& certificateFiles,
                       const std::string& output) {
    // Reading certificate files is not part of encrypting: the list holds them already.
    std::vector<platform::Certificate> certificates;
    for (const std::string& file : certificateFiles) {
        auto read = platform::ReadCertificateFile(file);
        if (!read || read->empty()) {
            return -1;
        }
        certificates.push_back(std::move(read->front()));
    }
    std::vector<const platform::Certificate*> recipients;
    for (const platform::Certificate& certificate : certificates) {
        recipients.push_back(&certificate);
    }
    const platform::ContentAlgorithm oid = platform::ContentAlgorithm::Aes256Cbc;
    const auto start = Clock::now();
    auto input = protection::InputFile::Open(plain);
    if (!input) {
        return -1;
    }
    auto file = protection::OutputFile::Open(output, protection::OutputFile::Access::Shared,
                                             protection::NameState::Of(output), input->identity());
    if (!file) {
        return -1;
    }
    auto written = platform::EnvelopeStream(oid, recipients, *input, input->knownSize(), *file);
    if (!written || !input->ConfirmUnchanged()) {
        return -1;
    }
    const double core = Seconds(start);
    if (!file->Commit()) {
        return -1;
    }
    return core;
}

double DecryptWithCore(const std::string& message, const std::string& storeFolder,
                       const std::string& output) {
    auto store = platform::PersonalStore::Open(storeFolder);
    if (!store) {
        return -1;
    }
    const auto start = Clock::now();
    auto input = protection::InputFile::Open(message);
    if (!input) {
        return -1;
    }
    auto file = protection::OutputFile::Open(output, protection::OutputFile::Access::OwnerOnly,
                                             protection::NameState::Of(output), input->identity());
    if (!file) {
        return -1;
    }
    auto length = platform::OpenEnvelope(*input, &*input, *store, nullptr, *file);
    if (!length) {
        std::fprintf(stderr, "decrypt: %s\n", length.failure().text.c_str());
        return -1;
    }
    const double core = Seconds(start);
    if (!input->ConfirmUnchanged() || !file->Commit()) {
        return -1;
    }
    return core;
}

// A file read front to back, as standard input would be.
class FileStream final : public platform::ByteStream {
  public:
    explicit FileStream(int fd) : fd_(fd) {}
    Result<std::size_t> Read(std::span<std::uint8_t> out) override {
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t got = ::read(fd_, out.data() + done, out.size() - done);
            if (got < 0 && errno != EINTR) {
                return platform::SystemFailure(errno);  // a failed read is no end of file
            }
            if (got == 0) {
                break;
            }
            if (got < 0) {
                continue;
            }
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

  private:
    int fd_;
};

class FileSink final : public platform::ByteSink {
  public:
    explicit FileSink(int fd) : fd_(fd) {}
    Status Write(std::span<const std::uint8_t> bytes) override {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t put = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                return platform::SystemFailure(put < 0 ? errno : EIO);
            }
            done += static_cast<std::size_t>(put);
        }
        return {};
    }

  private:
    int fd_;
};

double DecryptStreamWithCore(const std::string& message, const std::string& storeFolder,
                             const std::string& output) {
    auto store = platform::PersonalStore::Open(storeFolder);
    if (!store) {
        return -1;
    }
    const auto start = Clock::now();
    const int in = ::open(message.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (in < 0 || out < 0) {
        return -1;
    }
    FileStream stream(in);
    FileSink sink(out);
    auto length = platform::OpenEnvelope(stream, nullptr, *store, nullptr, sink);
    ::close(in);
    ::close(out);
    if (!length) {
        std::fprintf(stderr, "decrypt stream: %s\n", length.failure().text.c_str());
        return -1;
    }
    return Seconds(start);
}

double OpensslSpeedBytesPerSecond() {
    const std::unique_ptr<FILE, int (*)(FILE*)> report(std::tmpfile(), &std::fclose);
    if (report == nullptr) {
        return 0;
    }
    testing::ChildSetup setup;
    setup.arguments = {"openssl", "speed",    "-evp", "aes-256-cbc", "-bytes",
                       "1048576", "-seconds", "3",    "-mr"};
    setup.standardOutput = ::fileno(report.get());
    if (testing::RunChild(setup).exitCode != 0) {
        return 0;
    }
    std::rewind(report.get());
    double rate = 0;
    char line[512];
    while (std::fgets(line, sizeof line, report.get()) != nullptr) {
        std::string text(line);
        if (text.rfind("+F:", 0) == 0) {
            rate = std::stod(text.substr(text.rfind(':') + 1));
        }
    }
    return rate;
}

void Row(const char* name, const Measure& m, double megabytes) {
    std::printf("%-34s %8.3f s %9.1f MB/s %9.1f MiB peak%s\n", name, m.seconds,
                megabytes / m.seconds, m.peakMiB, m.ok ? "" : "   FAILED");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FIXTURES-FOLDER [BYTES [BASELINE-CLI]]\n", argv[0]);
        return 2;
    }
    const std::string fixtures = argv[1];
    const std::uint64_t bytes = argc > 2 ? std::stoull(argv[2]) : 100'000'000;
    // Another build's mirebolt-cli, such as main's, to compare decryption with in this run.
    const std::string baselineCli = argc > 3 ? argv[3] : "";
    const std::string ownCli =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "cli" /
         "mirebolt-cli")
            .string();
    const double megabytes = static_cast<double>(bytes) / 1e6;
    const auto folder =
        std::filesystem::temp_directory_path() / ("mirebolt-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string plain = (folder / "plain.bin").string();
    {
        std::vector<std::uint64_t> block(1 << 17);
        std::mt19937_64 generator(42);
        std::ofstream out(plain, std::ios::binary);
        for (std::uint64_t done = 0; done < bytes;) {
            for (auto& word : block) {
                word = generator();
            }
            const auto count = std::min<std::uint64_t>(block.size() * 8, bytes - done);
            out.write(reinterpret_cast<const char*>(block.data()),
                      static_cast<std::streamsize>(count));
            done += count;
        }
    }
    const std::string certificate = fixtures + "/alice.pem";
    const std::string key = fixtures + "/alice.key";
    const std::string ours = (folder / "ours.p7m").string();
    const std::string theirs = (folder / "theirs.p7m").string();

    std::printf("%.0f MB of content, AES-256-CBC, one RSA-2048 recipient, best of 3 runs\n\n",
                megabytes);
    Measure oursEncrypt =
        Best([&] { return InChild([&] { return EncryptWithCore(plain, {certificate}, ours); }); });
    Measure theirEncrypt = Best([&] {
        return Program({"openssl", "cms", "-encrypt", "-aes256", "-binary", "-outform", "DER",
                        "-in", plain, "-out", theirs, certificate});
    });
    Measure oursDecrypt = Best([&] {
        return InChild([&] {
            return DecryptWithCore(theirs, fixtures + "/store-alice",
                                   (folder / "ours.out").string());
        });
    });
    Measure theirDecrypt = Best([&] {
        return Program({"openssl", "cms", "-decrypt", "-binary", "-inform", "DER", "-in", ours,
                        "-recip", certificate, "-inkey", key, "-out",
                        (folder / "theirs.out").string()});
    });
    const std::string streamed = (folder / "streamed.p7m").string();
    Measure streamedEncrypt =
        Program({"openssl", "cms", "-encrypt", "-aes256", "-binary", "-stream", "-outform", "DER",
                 "-in", plain, "-out", streamed, certificate});
    Measure oursStreamedDecrypt = Best([&] {
        return InChild([&] {
            return DecryptWithCore(streamed, fixtures + "/store-alice",
                                   (folder / "ours.out").string());
        });
    });
    Measure oursStreamEntry = Best([&] {
        return InChild([&] {
            return DecryptStreamWithCore(streamed, fixtures + "/store-alice",
                                         (folder / "ours.out").string());
        });
    });
    Measure theirStreamedDecrypt = Best([&] {
        return Program({"openssl", "cms", "-decrypt", "-binary", "-inform", "DER", "-in", streamed,
                        "-recip", certificate, "-inkey", key, "-out",
                        (folder / "theirs.out").string()});
    });
    auto cliDecrypt = [&](const std::string& cli, const std::string& message) {
        return Best([&] {
            return Program({cli, "--store", fixtures + "/store-alice", "--yes", "decrypt", "-o",
                            (folder / "cli.out").string(), message});
        });
    };
    Measure ownCliDer = cliDecrypt(ownCli, theirs);
    Measure ownCliBer = cliDecrypt(ownCli, streamed);
    Measure baselineCliDer;
    Measure baselineCliBer;
    if (!baselineCli.empty()) {
        baselineCliDer = cliDecrypt(baselineCli, theirs);
        baselineCliBer = cliDecrypt(baselineCli, streamed);
    }
    const double speed = OpensslSpeedBytesPerSecond();

    Row("encrypt, Mirebolt core, file to file", oursEncrypt, megabytes);
    Row("encrypt, openssl cms", theirEncrypt, megabytes);
    Row("decrypt, Mirebolt core, file to file", oursDecrypt, megabytes);
    Row("decrypt, openssl cms", theirDecrypt, megabytes);
    Row("decrypt BER, Mirebolt core", oursStreamedDecrypt, megabytes);
    Row("decrypt BER, Mirebolt stream entry", oursStreamEntry, megabytes);
    Row("decrypt BER, openssl cms", theirStreamedDecrypt, megabytes);
    Row("decrypt DER, mirebolt-cli", ownCliDer, megabytes);
    Row("decrypt BER, mirebolt-cli", ownCliBer, megabytes);
    if (!baselineCli.empty()) {
        Row("decrypt DER, baseline mirebolt-cli", baselineCliDer, megabytes);
        Row("decrypt BER, baseline mirebolt-cli", baselineCliBer, megabytes);
        std::printf("mirebolt-cli decrypt time / baseline's: DER %.3f, BER %.3f\n",
                    ownCliDer.seconds / baselineCliDer.seconds,
                    ownCliBer.seconds / baselineCliBer.seconds);
    }
    std::printf("\nencrypt, Mirebolt core, file to buffer: %.3f s, %.1f MB/s\n",
                oursEncrypt.coreSeconds, megabytes / oursEncrypt.coreSeconds);
    std::printf("decrypt, Mirebolt core, file to buffer: %.3f s, %.1f MB/s\n",
                oursDecrypt.coreSeconds, megabytes / oursDecrypt.coreSeconds);
    std::printf("openssl speed -evp aes-256-cbc, 1 MiB blocks, one core: %.1f MB/s\n", speed / 1e6);
    std::printf(
        "\nencryption file to buffer / openssl speed:      %5.1f %%  (target 70 %% or more)\n",
        100.0 * (megabytes * 1e6 / oursEncrypt.coreSeconds) / speed);
    std::printf("openssl cms decrypt time / ours:                %5.2f x   (target 2 x or more)\n",
                theirDecrypt.seconds / oursDecrypt.seconds);
    std::printf("openssl cms encrypt time / ours:                %5.2f x\n",
                theirEncrypt.seconds / oursEncrypt.seconds);
    std::printf(
        "peak memory above the output, encrypt:          %5.1f MiB (target 32 MiB or less)\n",
        oursEncrypt.peakMiB - static_cast<double>(std::filesystem::file_size(ours)) / 1048576.0);
    std::printf(
        "peak memory above the output, decrypt:          %5.1f MiB (target 32 MiB or less)\n",
        oursDecrypt.peakMiB - static_cast<double>(bytes) / 1048576.0);
    std::printf(
        "peak memory of the stream entry, decrypt:       %5.1f MiB (constant whatever the size)\n",
        oursStreamEntry.peakMiB);

    // What EC recipients cost: one instead of one RSA, and a hundred more.
    const auto encryptTo = [&](const std::vector<std::string>& files) {
        return BestCore(
            [&] { return InChild([&] { return EncryptWithCore(plain, files, ours); }); });
    };
    const std::string erin = fixtures + "/erin.pem";
    std::vector<std::string> hundredP256{certificate};
    std::vector<std::string> hundredMixed{certificate};
    for (int i = 0; i < 100; ++i) {
        hundredP256.push_back(erin);
        hundredMixed.push_back(fixtures + (i % 3 == 0   ? "/erin.pem"
                                           : i % 3 == 1 ? "/hana.pem"
                                                        : "/ivan.pem"));
    }
    const Measure rsaOnly = encryptTo({certificate});
    const Measure ecOnly = encryptTo({erin});
    const Measure withP256 = encryptTo(hundredP256);
    const Measure withMixed = encryptTo(hundredMixed);
    std::printf(
        "\nencrypt, file to buffer, best of 5: one RSA-2048 recipient %.4f s, one EC P-256 "
        "recipient %.4f s\n",
        rsaOnly.coreSeconds, ecOnly.coreSeconds);
    std::printf(
        "one EC P-256 recipient instead of one RSA-2048:   %+6.1f ms (target 5 ms or less)\n",
        1e3 * (ecOnly.coreSeconds - rsaOnly.coreSeconds));
    std::printf(
        "100 EC P-256 recipients added to one RSA-2048:    %+6.3f s  (target under 0.5 s)\n",
        withP256.coreSeconds - rsaOnly.coreSeconds);
    std::printf("100 EC recipients, P-256/384/521 in turn, added:  %+6.3f s\n",
                withMixed.coreSeconds - rsaOnly.coreSeconds);
    std::printf(
        "the same in processor time (user and system) of the whole run: %.3f s, %.3f s, "
        "%.3f s, %.3f s\n",
        rsaOnly.cpuSeconds, ecOnly.cpuSeconds, withP256.cpuSeconds, withMixed.cpuSeconds);

    std::filesystem::remove_all(folder);
    const bool allOk = oursEncrypt.ok && theirEncrypt.ok && oursDecrypt.ok && theirDecrypt.ok &&
                       streamedEncrypt.ok && oursStreamedDecrypt.ok && oursStreamEntry.ok &&
                       ownCliDer.ok && ownCliBer.ok && rsaOnly.ok && ecOnly.ok && withP256.ok &&
                       withMixed.ok;
    return allOk ? 0 : 1;
}
