#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCommandLinkButton>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include <deque>
#include <memory>

#include "support/fake_ports.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"
#include "ui/control_ids.h"
#include "ui/main_dialog.h"
#include "ui/next_modal.h"

namespace mirebolt::testing {

// Open dialogs that answer from a script, a null string meaning Cancel; an unforeseen one
// fails the test.
class ScriptedFileChooser : public ui::FileChooser {
  public:
    std::optional<QString> ChooseAnyFile() override { return Next(anyFiles, "Open"); }
    std::optional<QString> ChooseCertificateFile() override {
        return Next(certificateFiles, "certificate Open");
    }

    std::deque<QString> anyFiles;
    std::deque<QString> certificateFiles;
    int asked = 0;

  private:
    std::optional<QString> Next(std::deque<QString>& answers, const char* what) {
        ++asked;
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected " << what << " dialog";
            return std::nullopt;
        }
        const QString answer = answers.front();
        answers.pop_front();
        if (answer.isNull()) {
            return std::nullopt;
        }
        return answer;
    }
};

class ScriptedActionMenu : public ui::ActionMenu {
  public:
    int Choose(const QPoint& at) override {
        shownAt.push_back(at);
        if (choices.empty()) {
            ADD_FAILURE() << "unexpected Action menu";
            return 0;
        }
        const int choice = choices.front();
        choices.pop_front();
        return choice;
    }
    std::deque<int> choices;
    std::vector<QPoint> shownAt;
};

class RecordingUrlOpener : public ui::UrlOpener {
  public:
    void Open(const QUrl& address) override { opened.push_back(address); }
    std::vector<QUrl> opened;
};

// Picks the store's certificate with the given subject name, or cancels.
class ScriptedPicker : public recipients::CertificatePicker {
  public:
    std::optional<platform::Certificate> Pick(const platform::PersonalStore& store,
                                              const std::string& displayString) override {
        shownText = displayString;
        if (subjects.empty()) {
            ADD_FAILURE() << "unexpected certificate picker";
            return std::nullopt;
        }
        const std::optional<std::string> wanted = subjects.front();
        subjects.pop_front();
        for (platform::StoreCertificate& entry : store.PickerCertificates()) {
            if (wanted && platform::SubjectDisplayName(entry.certificate) == *wanted) {
                return std::move(entry.certificate);
            }
        }
        return std::nullopt;
    }
    std::deque<std::optional<std::string>> subjects;
    std::string shownText;
};

// A main dialog over scripted ports and a copy of Alice's store.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog_ = std::make_unique<ui::CMainDlg>(
            ui::WindowPorts{feedback_, busy_, save_, &keys_, picker_, files_, menu_, urls_},
            store_.directory());
        dialog_->show();
    }
    void TearDown() override { dialog_.reset(); }

    template <class Widget>
    Widget* Control(const char* name) {
        auto* widget = dialog_->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    StoreFolder store_{"store-alice"};
    FakeBusy busy_;
    RecordingFeedback feedback_{&busy_};
    ScriptedSaveQuestion save_;
    ScriptedKeyPrompt keys_;
    ScriptedPicker picker_;
    ScriptedFileChooser files_;
    ScriptedActionMenu menu_;
    RecordingUrlOpener urls_;
    std::unique_ptr<ui::CMainDlg> dialog_;
};

}  // namespace mirebolt::testing
