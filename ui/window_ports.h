#pragma once

#include <QPoint>
#include <QString>
#include <QUrl>

#include <optional>
#include <string>

#include "feedback/feedback.h"
#include "feedback/save_file_question.h"
#include "feedback/wait_cursor.h"
#include "nss/key_access.h"
#include "recipients/certificate_picker.h"

namespace mirebolt::ui {

// The Open dialogs: any file for the path box, or a certificate file.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    virtual std::optional<QString> ChooseAnyFile() = 0;
    virtual std::optional<QString> ChooseCertificateFile() = 0;
};

// The "Action" popup of the "+" button: the chosen item's identifier, or 0 when dismissed.
class ActionMenu {
  public:
    virtual ~ActionMenu() = default;
    virtual int Choose(const QPoint& at) = 0;
};

// Opens an address with the desktop's handler for it.
class UrlOpener {
  public:
    virtual ~UrlOpener() = default;
    virtual void Open(const QUrl& address) = 0;
};

// Everything through which the main dialog's commands reach the person.
struct WindowPorts {
    feedback::Feedback& feedback;
    feedback::BusyIndicator& busy;
    feedback::SaveFileQuestion& saveQuestion;
    platform::KeyAccessPrompt* keyPrompt;
    recipients::CertificatePicker& picker;
    FileChooser& files;
    ActionMenu& actionMenu;
    UrlOpener& urls;
};

}  // namespace mirebolt::ui
