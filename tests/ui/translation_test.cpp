// The window's texts in German, and the forms of those that name a file, a date or a count.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTranslator>

#include "feedback/feedback.h"
#include "protection/command_texts.h"
#include "recipients/certificate_status_text.h"
#include "support/test_files.h"
#include "ui/translation.h"

namespace mirebolt::testing {
namespace {

// German for the length of one test; the other tests expect the English texts.
class InGerman : public ::testing::Test {
  protected:
    void SetUp() override { ui::InstallTranslations(*qApp, QLocale(QLocale::German)); }
    void TearDown() override {
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }
};

TEST_F(InGerman, EveryTextThatReachesTheWindowFromBelowIsTranslated) {
    namespace t = protection::texts;
    std::vector<std::string> texts = {t::kReadFailed,
                                      t::kEmptyInput,
                                      t::kNoFileToEncrypt,
                                      t::kNoRecipients,
                                      t::kReplaceEncrypted,
                                      t::kReplaceEncryptedTitle,
                                      t::kTooBigToEncrypt,
                                      t::kEncryptedLocationNotWritable,
                                      t::kNoMemoryToEncrypt,
                                      t::kEncryptionFailed,
                                      t::kEncryptedWriteFailed,
                                      t::kEncrypted,
                                      t::kNoFileToDecrypt,
                                      t::kTooBigToDecrypt,
                                      t::kReplaceDecrypted,
                                      t::kReplaceDecryptedTitle,
                                      t::kDecryptedLocationNotWritable,
                                      t::kStoreFailed,
                                      t::kNoMemoryToDecrypt,
                                      t::kDecryptionFailed,
                                      t::kDecryptedWriteFailed,
                                      t::kDecrypted};
    const platform::Certificate certificate = FixtureCertificate("bob.pem");
    using platform::CertificateProblem;
    for (CertificateProblem problem :
         {CertificateProblem::Revoked, CertificateProblem::Expired, CertificateProblem::NotYetValid,
          CertificateProblem::SigningOnly, CertificateProblem::Authority,
          CertificateProblem::NotTrusted, CertificateProblem::NotForEmail,
          CertificateProblem::RevocationUnknown}) {
        texts.push_back(recipients::ProblemText(problem, certificate));
    }
    for (const std::string& text : texts) {
        EXPECT_NE(ui::ShownText(text).toStdString(), text) << "no German for: " << text;
    }
}

TEST_F(InGerman, WhatATextNamesIsKeptAsItIs) {
    EXPECT_EQ(ui::ShownText(std::string(protection::texts::kEncrypted) + "/home/b/Brief.txt.enc")
                  .toStdString(),
              "Die Datei wurde verschlüsselt.\nVerschlüsselte Daten gespeichert in "
              "/home/b/Brief.txt.enc");
    EXPECT_EQ(ui::ShownText(feedback::ErrorReportText(protection::texts::kDecryptionFailed, 5,
                                                      "Input/output error"))
                  .toStdString(),
              "Die ausgewählte Datei konnte nicht entschlüsselt werden\n\nFehler 0x00000005: "
              "Input/output error");
    EXPECT_EQ(ui::ShownText("The file holds more than 100 certificates: the first 100 were taken "
                            "and 7 more were skipped")
                  .toStdString(),
              "Die Datei enthält mehr als 100 Zertifikate: Die ersten 100 wurden übernommen, 7 "
              "weitere übersprungen");
    EXPECT_EQ(ui::ShownText("Expired 2021-01-01\nSigning only").toStdString(),
              "Abgelaufen am 2021-01-01\nNur zum Signieren")
        << "each line of a certificate's problems on its own";
    EXPECT_EQ(ui::ShownText("a text of no one's").toStdString(), "a text of no one's");
}

}  // namespace
}  // namespace mirebolt::testing
