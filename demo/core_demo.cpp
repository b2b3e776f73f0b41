// A short tour of the core: a file encrypted for two people, opened again with one person's
// personal store. Run by scripts/run with the test certificates.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/certificate_file.h"
#include "platform/envelope.h"
#include "platform/nss_runtime.h"
#include "platform/open_envelope.h"
#include "protection/content_cipher.h"
#include "protection/input_file.h"
#include "protection/output_buffer.h"
#include "protection/output_file.h"

using namespace mirebolt;

namespace {

int Fail(const char* step, const Failure& failure) {
    std::fprintf(stderr, "%s failed: error 0x%.8X: %s\n", step, failure.code, failure.text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CERTIFICATES-FOLDER WORK-FOLDER\n", argv[0]);
        return 2;
    }
    platform::NssSession nss;
    const std::string certificates = argv[1];
    const std::string work = argv[2];
    const std::string plain = work + "/letter.txt";
    const std::string sealed = plain + ".enc";
    const std::string opened = work + "/letter-opened.txt";
    std::ofstream(plain) << "Dear Bob,\nthe figures for the third quarter are attached.\nAlice\n";

    auto recipients = platform::ReadCertificateFile(certificates + "/three.pem");
    if (!recipients) {
        return Fail("Reading the certificates", recipients.failure());
    }
    std::vector<const platform::Certificate*> list;
    for (const platform::Certificate& certificate : *recipients) {
        std::printf("recipient: %s (issued by %s)\n",
                    platform::SubjectDisplayName(certificate).c_str(),
                    platform::IssuerDisplayName(certificate).c_str());
        list.push_back(&certificate);
    }

    const char* cipher = protection::ObjectIdentifier(protection::ContentCipher::Aes256Cbc);
    auto input = protection::InputFile::Open(plain);
    if (!input) {
        return Fail("Opening the letter", input.failure());
    }
    auto size = platform::EnvelopeSize(cipher, list, input->Size());
    if (!size) {
        return Fail("Sizing the message", size.failure());
    }
    auto buffer =
        protection::OutputBuffer::Allocate(*size, protection::OutputBuffer::Holds::CipherText);
    if (!buffer) {
        return Fail("Allocating", buffer.failure());
    }
    auto written = platform::Envelope(cipher, list, *input, buffer->bytes());
    if (!written) {
        return Fail("Encrypting", written.failure());
    }
    auto output = protection::OutputFile::Open(sealed, protection::OutputFile::Access::Shared,
                                               input->identity());
    if (!output || !output->Write(buffer->bytes().first(*written))) {
        std::fprintf(stderr, "Writing %s failed\n", sealed.c_str());
        return 1;
    }
    std::printf("encrypted %llu bytes into %llu bytes: %s\n",
                static_cast<unsigned long long>(input->Size()),
                static_cast<unsigned long long>(*written), sealed.c_str());

    auto store = platform::PersonalStore::Open(certificates + "/store-bob");
    if (!store) {
        return Fail("Opening Bob's store", store.failure());
    }
    auto message = protection::InputFile::Open(sealed);
    if (!message) {
        return Fail("Opening the message", message.failure());
    }
    auto bound = platform::OpenedSizeBound(*message);
    if (!bound) {
        return Fail("Reading the message", bound.failure());
    }
    auto content =
        protection::OutputBuffer::Allocate(*bound, protection::OutputBuffer::Holds::PlainText);
    if (!content) {
        return Fail("Allocating", content.failure());
    }
    auto length = platform::OpenEnvelope(*message, *store, nullptr, content->bytes());
    if (!length) {
        return Fail("Decrypting with Bob's key", length.failure());
    }
    auto plainOut = protection::OutputFile::Open(opened, protection::OutputFile::Access::OwnerOnly,
                                                 message->identity());
    if (!plainOut || !plainOut->Write(content->bytes().first(*length))) {
        std::fprintf(stderr, "Writing %s failed\n", opened.c_str());
        return 1;
    }
    std::printf("decrypted with Bob's personal store: %s\n", opened.c_str());
    return 0;
}
