#include "cli/info_command.h"

#include <cstdio>

#include "platform/envelope_description.h"
#include "platform/personal_store.h"
#include "protection/input_file.h"

namespace mirebolt::cli {

namespace {

constexpr int kSucceeded = 0;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

int Fail(const std::string& text) {
    std::fprintf(stderr, "mirebolt-cli: %s\n", text.c_str());
    return kFailed;
}

void Print(const platform::EnvelopeDescription& description) {
    std::printf("Form: %s\n", description.form.c_str());
    std::printf("Type: %s\n", description.type.c_str());
    std::printf("Content cipher: %s\n", description.cipher.c_str());
    std::printf("Encrypted content: %llu bytes\n",
                static_cast<unsigned long long>(description.encryptedBytes));
    std::printf("Recipient entries: %zu\n", description.recipients.size());
    std::size_t number = 0;
    for (const platform::RecipientDescription& recipient : description.recipients) {
        std::printf("  %zu. %s: %s%s\n", ++number, recipient.kind.c_str(),
                    recipient.keyAlgorithm.c_str(),
                    recipient.usable ? "" : " (this program cannot use it)");
        if (!recipient.identifier.empty()) {
            std::printf("     Recipient: %s\n", recipient.identifier.c_str());
        }
        if (!recipient.certificateName.empty()) {
            std::printf("     Certificate: %s%s\n", recipient.certificateName.c_str(),
                        recipient.own ? " (yours: you can decrypt this file)" : "");
        }
    }
}

}  // namespace

int RunInfo(const std::string& storeDirectory, const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) {
        std::fprintf(stderr, "mirebolt-cli: info takes one FILE\n%s", kInfoUsage);
        return kBadUsage;
    }
    Result<protection::InputFile> input = protection::InputFile::Open(arguments.front());
    if (!input) {
        return Fail(arguments.front() + ": " + input.failure().text);
    }
    Result<platform::PersonalStore> store = platform::PersonalStore::Open(storeDirectory);
    if (!store) {
        return Fail("Failed to open the system certificate store");
    }
    Result<platform::EnvelopeDescription> description = platform::DescribeEnvelope(*input, *store);
    if (!description) {
        return Fail(description.failure().text);
    }
    Print(*description);
    return kSucceeded;
}

}  // namespace mirebolt::cli
