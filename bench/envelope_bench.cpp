// Encrypts and decrypts one large file through the core and, in the same run and on the same
// file, with `openssl cms`; prints wall time and peak memory of each and the ratios. Each run
// is a process of its own, so that its peak memory is its own; the best of three counts.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/certificate_file.h"
#include "platform/child_process.h"
#include "platform/envelope.h"
#include "platform/nss_runtime.h"
#include "platform/open_envelope.h"
#include "protection/content_cipher.h"
#include "protection/input_file.h"
#include "protection/output_buffer.h"
#include "protection/output_file.h"

namespace {

using namespace mirebolt;
using Clock = std::chrono::steady_clock;

struct Measure {
    double seconds = 0;      // the whole process, start to end
    double coreSeconds = 0;  // for our runs: from the opened file to the filled buffer
    double peakMiB = 0;
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
    measure.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && core >= 0;
    return measure;
}

Measure Program(const std::vector<std::string>& arguments) {
    platform::ChildSetup setup;
    setup.arguments = arguments;
    setup.standardError = STDERR_FILENO;
    const auto start = Clock::now();
    const platform::ChildOutcome outcome = platform::RunChild(setup);
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

double EncryptWithCore(const std::string& plain, const std::string& certificateFile,
                       const std::string& output) {
    auto certificates = platform::ReadCertificateFile(certificateFile);
    if (!certificates || certificates->empty()) {
        return -1;
    }
    const std::vector<const platform::Certificate*> recipients{&certificates->front()};
    const char* oid = protection::ObjectIdentifier(protection::ContentCipher::Aes256Cbc);
    const auto start = Clock::now();
    auto input = protection::InputFile::Open(plain);
    if (!input) {
        return -1;
    }
    auto size = platform::EnvelopeSize(oid, recipients, input->Size());
    if (!size) {
        return -1;
    }
    auto buffer =
        protection::OutputBuffer::Allocate(*size, protection::OutputBuffer::Holds::CipherText);
    if (!buffer) {
        return -1;
    }
    auto written = platform::Envelope(oid, recipients, *input, buffer->bytes());
    if (!written) {
        return -1;
    }
    const double core = Seconds(start);
    auto file =
        protection::OutputFile::Open(output, protection::OutputFile::Access::Shared, std::nullopt);
    if (!file || !file->Write(buffer->bytes().first(*written))) {
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
    auto bound = platform::OpenedSizeBound(*input);
    if (!bound) {
        return -1;
    }
    auto buffer =
        protection::OutputBuffer::Allocate(*bound, protection::OutputBuffer::Holds::PlainText);
    if (!buffer) {
        return -1;
    }
    auto length = platform::OpenEnvelope(*input, *store, nullptr, buffer->bytes());
    if (!length) {
        std::fprintf(stderr, "decrypt: %s\n", length.failure().text.c_str());
        return -1;
    }
    const double core = Seconds(start);
    auto file = protection::OutputFile::Open(output, protection::OutputFile::Access::OwnerOnly,
                                             input->identity());
    if (!file || !file->Write(buffer->bytes().first(*length))) {
        return -1;
    }
    return core;
}

double OpensslSpeedBytesPerSecond() {
    const std::unique_ptr<FILE, int (*)(FILE*)> report(std::tmpfile(), &std::fclose);
    if (report == nullptr) {
        return 0;
    }
    platform::ChildSetup setup;
    setup.arguments = {"openssl", "speed",    "-evp", "aes-256-cbc", "-bytes",
                       "1048576", "-seconds", "3",    "-mr"};
    setup.standardOutput = ::fileno(report.get());
    if (platform::RunChild(setup).exitCode != 0) {
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
        std::fprintf(stderr, "usage: %s FIXTURES-FOLDER [BYTES]\n", argv[0]);
        return 2;
    }
    const std::string fixtures = argv[1];
    const std::uint64_t bytes = argc > 2 ? std::stoull(argv[2]) : 100'000'000;
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
        Best([&] { return InChild([&] { return EncryptWithCore(plain, certificate, ours); }); });
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
    const double speed = OpensslSpeedBytesPerSecond();

    Row("encrypt, Mirebolt core, file to file", oursEncrypt, megabytes);
    Row("encrypt, openssl cms", theirEncrypt, megabytes);
    Row("decrypt, Mirebolt core, file to file", oursDecrypt, megabytes);
    Row("decrypt, openssl cms", theirDecrypt, megabytes);
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
    std::filesystem::remove_all(folder);
    const bool allOk = oursEncrypt.ok && theirEncrypt.ok && oursDecrypt.ok && theirDecrypt.ok;
    return allOk ? 0 : 1;
}
