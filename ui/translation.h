#pragma once

#include <QCoreApplication>
#include <QLocale>
#include <QString>

#include <string>

namespace mirebolt::ui {

// The window's texts in the person's language: one context for the whole program, with the
// English texts the window shows under the C locale as the sources.
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Mirebolt)
};

// A text made below the window (a command's outcome, a certificate's problem) as the window
// shows it: translated whole, or, where it names a file, a date or a count, its words
// translated around what it names. A text without a translation shows as it is.
QString ShownText(const std::string& text);

// Loads the program's translation and Qt's own for the languages `locale` asks for, so that Qt's
// dialogs and buttons speak the same language as the window. Under C or English nothing is
// loaded and every text stays as written.
void InstallTranslations(QCoreApplication& application, const QLocale& locale);

}  // namespace mirebolt::ui
