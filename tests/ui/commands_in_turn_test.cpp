// A command that arrives while another one runs (inside its message box, dialog, picker, menu or
// prompt) waits until that one has finished: nothing stacks, nothing runs on a list or window
// that the first command still uses, and OK and Cancel end the window only afterwards.
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>

#include <filesystem>

#include "protection/encrypt_command.h"
#include "ui/about_box.h"
#include "ui/certificate_picker_dialog.h"
#include "ui/external_commands.h"
#include "ui/qt_ports.h"
#include "ui/window_fixture.h"

namespace mirebolt::testing {
namespace {

namespace id = ui::id;

// The "Action" popup: from a script while the test sets the window up, the real one afterwards.
class SetUpMenu : public ui::ActionMenu {
  public:
    explicit SetUpMenu(const ui::OwnerWindow& owner) : real_(owner) {}
    int Choose(const QPoint& at) override {
        if (script.empty()) {
            return real_.Choose(at);
        }
        const int choice = script.front();
        script.pop_front();
        return choice;
    }
    std::deque<int> script;

  private:
    ui::PopupActionMenu real_;
};

// The Open dialogs: certificate files from a script while the test sets up, then the real ones.
class SetUpFiles : public ui::FileChooser {
  public:
    explicit SetUpFiles(const ui::OwnerWindow& owner) : real_(owner) {}
    std::optional<QString> ChooseAnyFile() override { return real_.ChooseAnyFile(); }
    std::optional<QString> ChooseCertificateFile() override {
        if (script.empty()) {
            return real_.ChooseCertificateFile();
        }
        const QString file = script.front();
        script.pop_front();
        return file;
    }
    std::deque<QString> script;

  private:
    ui::FileDialogs real_;
};

// The main dialog with the real boxes, dialogs, picker, menu and prompt of the desktop program.
struct RealWindow {
    explicit RealWindow(const char* store) : storeFolder(store) {
        owner.widget = &dialog;
        dialog.show();
    }

    void AddRecipientFromFile(const char* certificateFile) {
        menu.script.push_back(id::kAddFromFile);
        files.script.push_back(QString::fromStdString(FixturePath(certificateFile)));
        dialog.Dispatch(ui::Message{ui::MessageKind::Command, id::kAdd, 0});
    }
    void SetPath(const std::string& path) {
        dialog.findChild<QLineEdit*>(QStringLiteral("pathBox"))
            ->setText(QString::fromStdString(path));
    }

    TempDir work;
    StoreFolder storeFolder;
    ui::OwnerWindow owner;
    ui::MessageBoxFeedback feedback{owner};
    ui::WindowWaitCursor busy{owner};
    ui::FileDialogs dialogs{owner};
    ui::PasswordDialogPrompt keys{owner};
    ui::CertificatePickerDialog picker{owner};
    SetUpMenu menu{owner};
    SetUpFiles files{owner};
    RecordingUrlOpener urls;
    ui::CMainDlg dialog{ui::WindowPorts{feedback, busy, dialogs, &keys, picker, files, menu, urls},
                        storeFolder.directory()};
    ui::ExternalCommands external{dialog};
};

std::string Describe(QWidget* window) {
    if (qobject_cast<QMenu*>(window) != nullptr) {
        return "menu";
    }
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
        return box->windowTitle().toStdString() + ": " + box->text().toStdString();
    }
    if (qobject_cast<QFileDialog*>(window) != nullptr) {
        return "file dialog";
    }
    if (qobject_cast<QInputDialog*>(window) != nullptr) {
        return "prompt";
    }
    return window->windowTitle().toStdString();
}

void Close(QWidget* window) {
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
        QAbstractButton* button = box->button(QMessageBox::No);
        (button != nullptr ? button : box->button(QMessageBox::Ok))->click();
    } else if (auto* dialog = qobject_cast<QDialog*>(window)) {
        dialog->reject();
    } else {
        window->close();
    }
}

// Watches the windows the commands open. The first is the box under test: while it is open the
// command arrives over the bus and has time to run, which it must not; then the box is closed,
// and every window that opens after it is recorded and closed in turn.
class Watcher {
  public:
    Watcher(RealWindow& window, int command) : window_(window), command_(command) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start(5);
    }

    std::string box;
    std::vector<std::string> whileOpen;  // windows that opened on top of the box
    bool endedWhileOpen = false;
    std::vector<std::string> after;

  private:
    static QWidget* Current() {
        QWidget* popup = QApplication::activePopupWidget();
        return popup != nullptr ? popup : QApplication::activeModalWidget();
    }

    void Tick() {
        QWidget* current = Current();
        if (box_ == nullptr && !closed_) {
            if (current != nullptr) {
                box_ = current;
                box = Describe(current);
                window_.external.Command(static_cast<uint>(command_), 0);
            }
            return;
        }
        if (!closed_) {
            if (current != nullptr && current != box_) {
                whileOpen.push_back(Describe(current));
                Close(current);
                return;
            }
            endedWhileOpen = endedWhileOpen || !window_.dialog.isVisible();
            if (++ticks_ == 4 && box_ != nullptr) {
                closed_ = true;
                Close(box_);
            }
            return;
        }
        if (current != nullptr && current != box_) {
            after.push_back(Describe(current));
            Close(current);
        }
    }

    RealWindow& window_;
    int command_;
    QTimer timer_;
    QPointer<QWidget> box_;
    bool closed_ = false;
    int ticks_ = 0;
};

struct BoxKind {
    const char* name;
    const char* store;
    std::function<void(RealWindow&)> prepare;
    int opensWith;
};

// The window each command opens first, where it is always the same; Encrypt and Decrypt open
// one that depends on the state they find.
std::optional<std::string> FirstWindowOf(int command) {
    switch (command) {
        case id::kBrowse:
            return "file dialog";
        case id::kAdd:
            return "menu";
        case id::kRemove:
            return "Warning: No certificate selected on the list";
        case id::kAbout:
            return "About";
        default:
            return std::nullopt;
    }
}

// `expectedBox` is how the box under test begins.
void SendEachCommandWhileTheBoxIsOpen(const BoxKind& kind, const std::string& expectedBox) {
    for (int command :
         {id::kOk, id::kCancel, id::kBrowse, id::kAdd, id::kRemove, id::kDecryptCommand,
          id::kEncryptCommand, id::kEncrypt, id::kDecrypt, id::kAbout}) {
        SCOPED_TRACE(std::string(kind.name) + ", command " + std::to_string(command));
        RealWindow window(kind.store);
        kind.prepare(window);
        Watcher watcher(window, command);
        window.dialog.Dispatch(ui::Message{ui::MessageKind::Command, kind.opensWith, 0});
        QCoreApplication::processEvents();

        EXPECT_EQ(watcher.box.substr(0, expectedBox.size()), expectedBox);
        EXPECT_TRUE(watcher.whileOpen.empty()) << watcher.whileOpen.front();
        EXPECT_FALSE(watcher.endedWhileOpen) << "the window ended under the box";
        if (command == id::kOk || command == id::kCancel) {
            EXPECT_FALSE(window.dialog.isVisible());
            EXPECT_EQ(window.dialog.result(), command) << "ended once the box was answered";
            if (command == id::kCancel) {
                EXPECT_EQ(window.dialog.recipientList().RecipientCount(), 0);
            }
            continue;
        }
        EXPECT_TRUE(window.dialog.isVisible());
        if (std::optional<std::string> first = FirstWindowOf(command)) {
            EXPECT_NE(std::find(watcher.after.begin(), watcher.after.end(), *first),
                      watcher.after.end())
                << "the waiting command ran once the box was answered";
        } else {
            // Encrypt and Decrypt always end in a box of their own, whatever they find.
            EXPECT_FALSE(watcher.after.empty())
                << "the waiting command ran once the box was answered";
        }
    }
}

class CommandsInTurn : public ::testing::Test {};

void Nothing(RealWindow&) {}

TEST_F(CommandsInTurn, WhileAWarningIsOpen) {
    SendEachCommandWhileTheBoxIsOpen({"warning", "store-alice", Nothing, id::kRemove},
                                     "Warning: No certificate selected on the list");
}

TEST_F(CommandsInTurn, WhileTheOverwriteQuestionIsOpen) {
    SendEachCommandWhileTheBoxIsOpen(
        {"question", "store-alice",
         [](RealWindow& window) {
             WriteBytes(window.work / "letter.txt", {'h', 'i'});
             WriteBytes(window.work / "letter.txt.enc", {'o', 'l', 'd'});
             window.SetPath(window.work / "letter.txt");
             window.AddRecipientFromFile("alice.pem");
         },
         id::kEncrypt},
        "Already Exists: The encrypted file already exists. Do you want to overwrite it?");
}

TEST_F(CommandsInTurn, WhileAnErrorOrTheSuccessIsShown) {
    SendEachCommandWhileTheBoxIsOpen({"error", "store-alice",
                                      [](RealWindow& window) {
                                          window.SetPath(window.work / "missing");
                                          window.AddRecipientFromFile("alice.pem");
                                      },
                                      id::kEncrypt},
                                     "Error: Failed to open the select file for reading");
    SendEachCommandWhileTheBoxIsOpen(
        {"information", "store-alice",
         [](RealWindow& window) {
             WriteBytes(window.work / "letter.txt", {'h', 'i'});
             window.SetPath(window.work / "letter.txt");
             window.AddRecipientFromFile("alice.pem");
         },
         id::kEncrypt},
        "Information: File encrypted successfully.\nEncrypted data written to \"");
}

TEST_F(CommandsInTurn, WhileTheAboutBoxOrTheMenuIsOpen) {
    SendEachCommandWhileTheBoxIsOpen({"About box", "store-alice", Nothing, id::kAbout}, "About");
    SendEachCommandWhileTheBoxIsOpen({"menu", "store-alice", Nothing, id::kAdd}, "menu");
}

TEST_F(CommandsInTurn, WhileAFileDialogIsOpen) {
    SendEachCommandWhileTheBoxIsOpen({"Open dialog", "store-alice", Nothing, id::kBrowse},
                                     "file dialog");
    SendEachCommandWhileTheBoxIsOpen(
        {"certificate Open dialog", "store-alice",
         [](RealWindow& window) { window.menu.script.push_back(id::kAddFromFile); }, id::kAdd},
        "file dialog");
    SendEachCommandWhileTheBoxIsOpen({"Save dialog", "store-alice",
                                      [](RealWindow& window) {
                                          WriteBytes(window.work / "letter", {'h', 'i'});
                                          window.SetPath(window.work / "letter");
                                      },
                                      id::kDecrypt},
                                     "file dialog");
}

TEST_F(CommandsInTurn, WhileThePickerOrThePasswordPromptIsOpen) {
    SendEachCommandWhileTheBoxIsOpen(
        {"picker", "store-alice",
         [](RealWindow& window) { window.menu.script.push_back(id::kAddFromStore); }, id::kAdd},
        "Select Certificate");
    SendEachCommandWhileTheBoxIsOpen(
        {"password prompt", "store-carol",
         [](RealWindow& window) {
             WriteBytes(window.work / "letter.txt", {'h', 'i'});
             recipients::RecipientList carol;
             carol.AddRecipient(FixtureCertificate("carol.pem"));
             RecordingFeedback quiet;
             FakeBusy busy;
             protection::Encrypt({window.work / "letter.txt", carol, [] { return false; }}, quiet,
                                 busy);
             std::filesystem::remove(window.work / "letter.txt");
             window.SetPath(window.work / "letter.txt.enc");
         },
         id::kDecrypt},
        "prompt");
}

}  // namespace
}  // namespace mirebolt::testing
