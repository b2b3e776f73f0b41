#include <cstdio>

#include "base/json_writer.h"
#include "cli/certificate_json.h"
#include "cli/commands.h"

#include "cms/envelope_description.h"
#include "nss/personal_store.h"
#include "protection/input_file.h"
#include "recipients/certificate_status_text.h"

namespace mirebolt::cli {

namespace {

int Fail(const std::string& text) {
    std::fprintf(stderr, "%s: error: %s\n", kProgram, text.c_str());
    return kFailed;
}

void Print(const platform::EnvelopeDescription& description, const platform::StatusChecks& checks) {
    std::printf("Form: %s\n", description.form.c_str());
    std::printf("Type: %s\n", description.type.c_str());
    std::printf("Content cipher: %s\n", description.cipher.c_str());
    std::printf("Encrypted content: %llu bytes\n",
                static_cast<unsigned long long>(description.encryptedBytes));
    std::printf("Recipient entries: %llu\n",
                static_cast<unsigned long long>(description.recipientCount));
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
            std::printf("     Status: %s\n",
                        recipients::StatusText(
                            platform::CheckRecipientCertificate(recipient.certificate, checks),
                            recipient.certificate, "; ")
                            .c_str());
        }
    }
    if (description.recipientCount > description.recipients.size()) {
        std::printf("  ... and %llu more, not listed\n",
                    static_cast<unsigned long long>(description.recipientCount -
                                                    description.recipients.size()));
    }
}

// The same as one JSON document; an entry whose certificate the store does not hold has null
// for it.
void PrintJson(const platform::EnvelopeDescription& description,
               const platform::StatusChecks& checks) {
    platform::JsonWriter json;
    json.BeginObject();
    json.Key("form").String(description.form);
    json.Key("type").String(description.type);
    json.Key("content_cipher").String(description.cipher);
    json.Key("encrypted_bytes").Number(description.encryptedBytes);
    json.Key("recipient_count").Number(description.recipientCount);
    json.Key("recipients").BeginArray();
    for (const platform::RecipientDescription& recipient : description.recipients) {
        json.BeginObject();
        json.Key("kind").String(recipient.kind);
        json.Key("key_algorithm").String(recipient.keyAlgorithm);
        json.Key("usable").Bool(recipient.usable);
        json.Key("recipient");
        if (recipient.identifier.empty()) {
            json.Null();
        } else {
            json.String(recipient.identifier);
        }
        json.Key("certificate");
        if (recipient.certificateName.empty()) {
            json.Null();
        } else {
            json.BeginObject().Key("name").String(recipient.certificateName);
            WriteStatusMembers(json,
                               platform::CheckRecipientCertificate(recipient.certificate, checks),
                               recipient.certificate);
            json.EndObject();
        }
        json.Key("own").Bool(recipient.own);
        json.EndObject();
    }
    json.EndArray().EndObject();
    std::printf("%s\n", json.text().c_str());
}

}  // namespace

// Prints the description of the message in the one file named, without decrypting it.
int RunInfo(const Options& options) {
    if (options.operands.size() != 1) {
        return BadUsage("info takes one FILE", options.command);
    }
    const std::string& file = options.operands.front();
    const std::string named = file == "-" ? "standard input" : "\"" + file + "\"";
    Result<protection::InputFile> input = file == "-" ? protection::InputFile::StandardInput()
                                                      : protection::InputFile::Open(file, true);
    if (!input) {
        return Fail("cannot read " + named + ": " + input.failure().text);
    }
    Result<platform::PersonalStore> store = platform::PersonalStore::Open(options.storeDirectory);
    if (!store) {
        return StoreFailed(options, store.failure());
    }
    Result<platform::EnvelopeDescription> description = platform::DescribeEnvelope(*input, *store);
    if (!description) {
        return Fail("cannot describe " + named + ": " + description.failure().text);
    }
    if (options.json) {
        PrintJson(*description, {options.checkRevocation});
    } else {
        Print(*description, {options.checkRevocation});
    }
    return kSucceeded;
}

}  // namespace mirebolt::cli
