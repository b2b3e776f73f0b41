#include "ui/translation.h"

#include <QLibraryInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTranslator>

#include <array>
#include <memory>

namespace mirebolt::ui {

namespace {

// The texts that reach the window from below, listed here for lupdate, which only reads ui/
// (the leads below are listed there). A test checks that each of them still has its translation.
[[maybe_unused]] constexpr std::array kTextsFromBelow = {
    QT_TRANSLATE_NOOP("Mirebolt", "Failed to open the select file for reading"),
    QT_TRANSLATE_NOOP("Mirebolt", "The selected file is empty"),
    QT_TRANSLATE_NOOP("Mirebolt", "Please select a file to encrypt"),
    QT_TRANSLATE_NOOP("Mirebolt",
                      "No encryption certificates added to the recipients list.\nPlease use the "
                      "\"+\" button to add at least one certificate"),
    QT_TRANSLATE_NOOP("Mirebolt",
                      "The encrypted file already exists. Do you want to overwrite it?"),
    QT_TRANSLATE_NOOP("Mirebolt", "Already Exists"),
    QT_TRANSLATE_NOOP("Mirebolt", "The file is too big for encryption by this program"),
    QT_TRANSLATE_NOOP(
        "Mirebolt",
        "The location of the selected file is not writable. Encryption can not proceed"),
    QT_TRANSLATE_NOOP("Mirebolt", "Failed to allocate memory needed for the encryption process"),
    QT_TRANSLATE_NOOP("Mirebolt", "An error occured while encryption the file"),
    QT_TRANSLATE_NOOP("Mirebolt",
                      "Failed to write encrypted data to disk. Please ensure that the location of "
                      "selected file is writable"),
    QT_TRANSLATE_NOOP("Mirebolt", "Please select a file to decrypt"),
    QT_TRANSLATE_NOOP("Mirebolt", "The file is too big for decryption by this program"),
    QT_TRANSLATE_NOOP("Mirebolt",
                      "The decrypted file already exists.\nDo you want to overwrite it?"),
    QT_TRANSLATE_NOOP("Mirebolt", "Overwrite?"),
    QT_TRANSLATE_NOOP("Mirebolt",
                      "Failed to write data to disk. Please ensure that the location of selected "
                      "file is writable"),
    QT_TRANSLATE_NOOP("Mirebolt", "Failed to open the system certificate store"),
    QT_TRANSLATE_NOOP("Mirebolt", "Failed to allocate memory needed for the decryption process"),
    QT_TRANSLATE_NOOP("Mirebolt", "Failed to decrypt the selected file"),
    QT_TRANSLATE_NOOP("Mirebolt",
                      "Failed to write decrypted data to disk. Please ensure that the location of "
                      "selected file is writable"),
    QT_TRANSLATE_NOOP("Mirebolt", "The certificate is already present on the list"),
    QT_TRANSLATE_NOOP("Mirebolt", "No certificate could be found on the selected file"),
    QT_TRANSLATE_NOOP("Mirebolt",
                      "Select a certificate to add to the recipients list for encryption"),
    QT_TRANSLATE_NOOP("Mirebolt", "Revoked"),
    QT_TRANSLATE_NOOP("Mirebolt", "Signing only"),
    QT_TRANSLATE_NOOP("Mirebolt", "A certificate authority's certificate"),
    QT_TRANSLATE_NOOP("Mirebolt", "Not trusted"),
    QT_TRANSLATE_NOOP("Mirebolt", "Not meant for e-mail"),
    QT_TRANSLATE_NOOP("Mirebolt", "Revocation could not be checked"),
    QT_TRANSLATE_NOOP("Mirebolt", "No certificate selected on the list"),
};

// The texts that end in what they name, on their last line: the words before it are
// translated. An error report's last line is "Error 0x…: " and the system's own text.
constexpr std::array kLeads = {
    QT_TRANSLATE_NOOP("Mirebolt", "File encrypted successfully.\nEncrypted data written to "),
    QT_TRANSLATE_NOOP("Mirebolt", "File decrypted successfully.\nDecrypted data written to "),
    QT_TRANSLATE_NOOP("Mirebolt", "Expired "),
    QT_TRANSLATE_NOOP("Mirebolt", "Not valid before "),
    QT_TRANSLATE_NOOP("Mirebolt", "Error "),
};

QString Translated(const QString& text) {
    return Texts::tr(text.toUtf8().constData());
}

QString TranslatedForm(const QString& text) {
    const QString whole = Translated(text);
    if (whole != text) {
        return whole;
    }
    for (const char* lead : kLeads) {
        const QString english = QString::fromUtf8(lead);
        if (text.startsWith(english) && !text.mid(english.size()).contains(QLatin1Char('\n'))) {
            return Texts::tr(lead) + text.mid(english.size());
        }
    }
    static const QRegularExpression skipped(QStringLiteral(
        "^The file holds more than (\\d+) certificates: the first \\1 were taken and (\\d+) "
        "more were skipped$"));
    const QRegularExpressionMatch match = skipped.match(text);
    if (match.hasMatch()) {
        return Texts::tr(
                   "The file holds more than %1 certificates: the first %1 were taken and "
                   "%2 more were skipped")
            .arg(match.captured(1), match.captured(2));
    }
    return text;
}

// Installs the translation `name` for the locale's languages from `folder`, if there is one;
// the application owns it from then on.
void Install(QCoreApplication& application, const QLocale& locale, const QString& name,
             const QString& folder) {
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(locale, name, QStringLiteral("_"), folder)) {
        translator->setParent(&application);
        QCoreApplication::installTranslator(translator.release());
    }
}

}  // namespace

QString ShownText(const std::string& text) {
    const QString shown = QString::fromStdString(text);
    const QString whole = TranslatedForm(shown);
    if (whole != shown || !shown.contains(QLatin1Char('\n'))) {
        return whole;
    }
    // Lines put together below (a certificate's problems, an error report and the system's
    // reason) are translated one by one.
    QStringList lines = shown.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        line = TranslatedForm(line);
    }
    return lines.join(QLatin1Char('\n'));
}
void InstallTranslations(QCoreApplication& application, const QLocale& locale) {
    // Qt's own texts first: the one installed last is asked first, so the program's own win
    // where both have a text.
    Install(application, locale, QStringLiteral("qtbase"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    Install(application, locale, QStringLiteral("mirebolt"), QStringLiteral(":/i18n"));
}

}  // namespace mirebolt::ui
