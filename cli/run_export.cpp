#include <unistd.h>

#include <cstdio>
#include <span>

#include "cli/certificate_listing.h"
#include "cli/commands.h"
#include "cli/store_query_picker.h"
#include "cli/stream_adapters.h"
#include "cli/terminal_ports.h"
#include "nss/personal_store.h"
#include "protection/name_state.h"
#include "protection/output_file.h"
#include "protection/pem_sink.h"

namespace mirebolt::cli {

namespace {

constexpr char kStandardStream[] = "-";

// The one certificate of one's own that is to be handed out: the one -R names, or the only one
// there is.
std::optional<platform::Certificate> OwnCertificate(const Options& options,
                                                    const platform::PersonalStore& store,
                                                    feedback::Feedback& feedback) {
    std::vector<platform::StoreCertificate> own;
    for (platform::StoreCertificate& entry : store.PickerCertificates()) {
        if (entry.ownKey) {
            own.push_back(std::move(entry));
        }
    }
    if (!options.recipients.empty()) {
        return PickByQuery(std::move(own), options.recipients.front().name,
                           "of your own in the personal store", feedback);
    }
    if (own.size() == 1) {
        return std::move(own.front().certificate);
    }
    if (own.empty()) {
        feedback.ShowError("The personal store \"" + options.storeDirectory +
                           "\" holds no certificate of your own (one with its private key); "
                           "put yours there with: mirebolt-cli import FILE.p12");
        return std::nullopt;
    }
    std::string names;
    for (const platform::StoreCertificate& entry : own) {
        names += "\n  " + platform::SubjectDisplayName(entry.certificate) + "  SHA-256 " +
                 platform::Sha256Fingerprint(entry.certificate);
    }
    feedback.ShowError("The personal store holds " + std::to_string(own.size()) +
                       " certificates of your own; name one with -R FINGERPRINT:" + names);
    return std::nullopt;
}

Status WriteCertificate(platform::ByteSink& sink, std::span<const std::uint8_t> der, bool pem) {
    if (!pem) {
        return sink.Write(der);
    }
    protection::PemSink armoured(sink, "CERTIFICATE");
    if (Status written = armoured.Write(der); !written) {
        return written;
    }
    return armoured.Finish();
}

}  // namespace

int RunExport(const Options& options) {
    if (!options.operands.empty()) {
        return BadUsage("export takes no FILE: -o names the output", options.command);
    }
    if (options.recipients.size() > 1) {
        return BadUsage("export writes one certificate: give -R once", options.command);
    }
    TerminalFeedback feedback(kProgram, options.answerYes, InformationTo::StandardError);
    Result<platform::PersonalStore> store = platform::PersonalStore::Open(options.storeDirectory);
    if (!store) {
        return StoreFailed(options, store.failure());
    }
    WarnOfUnloadedModules(*store, feedback);
    std::optional<platform::Certificate> certificate = OwnCertificate(options, *store, feedback);
    if (!certificate) {
        return kFailed;
    }
    const std::span<const std::uint8_t> der = platform::DerBytes(*certificate);
    const bool pem = !options.der;

    if (!options.output || *options.output == kStandardStream) {
        DescriptorSink standardOutput(STDOUT_FILENO);
        if (Status written = WriteCertificate(standardOutput, der, pem); !written) {
            feedback.ShowError("Cannot write the certificate to standard output: " +
                               written.failure().text);
            return kFailed;
        }
        return kSucceeded;
    }
    const std::string& name = *options.output;
    const protection::NameState state = protection::NameState::Of(name);
    if (state.kind == protection::NameState::Kind::Other) {
        feedback.ShowError("\"" + name + "\" is not a regular file; it is left as it is");
        return kFailed;
    }
    if (state.kind == protection::NameState::Kind::RegularFile &&
        feedback.AskYesNo("\"" + name + "\" exists. Replace it?", "Overwrite?",
                          feedback::QuestionIcon::Warning) != feedback::Answer::Yes) {
        return kFailed;
    }
    Result<protection::OutputFile> file = protection::OutputFile::Open(
        name, protection::OutputFile::Access::Shared, state, std::nullopt);
    Status written = file ? WriteCertificate(*file, der, pem) : Status(file.failure());
    if (written) {
        written = file->Commit();
    }
    if (!written) {
        feedback.ShowError("Cannot write \"" + name + "\": " + written.failure().text);
        return kFailed;
    }
    if (!options.quiet) {
        std::fprintf(stderr, "The certificate of \"%s\" written to \"%s\"\n",
                     platform::SubjectDisplayName(*certificate).c_str(), name.c_str());
    }
    return kSucceeded;
}

}  // namespace mirebolt::cli
