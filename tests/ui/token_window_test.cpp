// The window with a smart card registered in its personal store (a real SoftHSM2 token): the
// window's own PIN prompt and certificate picker, answered as a person would.
#include <QInputDialog>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>

#include "support/commands.h"
#include "support/token_store.h"
#include "ui/certificate_picker_dialog.h"
#include "ui/qt_ports.h"
#include "ui/window_fixture.h"

namespace mirebolt::testing {
namespace {

using Kind = Shown::Kind;

// Answers each PIN dialog that opens with the next answer, a null string meaning Cancel, and
// records what each one said.
class PinDialogAnswers : public QObject {
  public:
    explicit PinDialogAnswers(std::deque<QString> answers) : answers_(std::move(answers)) {
        timer_.callOnTimeout([this] { AnswerOpenDialog(); });
        timer_.start(10);
    }

    std::vector<QString> labels;

  private:
    void AnswerOpenDialog() {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible() || dialog->property("answered").toBool()) {
            return;
        }
        dialog->setProperty("answered", true);
        labels.push_back(dialog->labelText());
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected PIN dialog: " << dialog->labelText().toStdString();
            dialog->reject();
            return;
        }
        const QString answer = answers_.front();
        answers_.pop_front();
        if (answer.isNull()) {
            dialog->reject();
        } else {
            dialog->setTextValue(answer);
            dialog->accept();
        }
    }

    std::deque<QString> answers_;
    QTimer timer_;
};

class TokenWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog_ = std::make_unique<ui::CMainDlg>(
            ui::WindowPorts{feedback_, busy_, save_, &pinPrompt_, picker_, files_, menu_, urls_},
            token_.directory());
        owner_.widget = dialog_.get();
        dialog_->show();
        WriteBytes(work_ / "letter.txt", content_);
        const auto made = RunCommand({"openssl", "cms", "-encrypt", "-binary", "-aes256",
                                      "-outform", "DER", "-in", work_ / "letter.txt", "-out",
                                      work_ / "carol.txt.enc", FixturePath("carol.pem")});
        ASSERT_EQ(made.exitCode, 0) << made.output;
        before_ = token_.DatabaseFiles();
    }
    void TearDown() override {
        dialog_.reset();
        EXPECT_EQ(token_.DatabaseFiles(), before_) << "the store's files must stay untouched";
    }

    void Decrypt() {
        auto* path = dialog_->findChild<QLineEdit*>(QStringLiteral("pathBox"));
        path->setText(QString::fromStdString(work_ / "carol.txt.enc"));
        QTest::mouseClick(dialog_->findChild<QCommandLinkButton*>(QStringLiteral("decryptButton")),
                          Qt::LeftButton);
    }

    TokenStore token_;
    TempDir work_;
    Bytes content_ = RandomBytes(5432);
    std::map<std::string, Bytes> before_;

    ui::OwnerWindow owner_;
    ui::PasswordDialogPrompt pinPrompt_{owner_};
    ui::CertificatePickerDialog picker_{owner_};
    FakeBusy busy_;
    RecordingFeedback feedback_{&busy_};
    ScriptedSaveQuestion save_;
    ScriptedFileChooser files_;
    ScriptedActionMenu menu_;
    RecordingUrlOpener urls_;
    std::unique_ptr<ui::CMainDlg> dialog_;
};

TEST_F(TokenWindow, DecryptAsksForTheCardsPinByItsName) {
    PinDialogAnswers pins({QString::fromLatin1(TokenStore::kPin)});
    Decrypt();
    ASSERT_EQ(pins.labels.size(), 1u);
    EXPECT_TRUE(pins.labels[0].contains(QStringLiteral("\"Carol Card\"")))
        << pins.labels[0].toStdString();
    ASSERT_EQ(feedback_.shown.size(), 1u);
    EXPECT_EQ(feedback_.shown[0].kind, Kind::Information) << feedback_.shown[0].text;
    EXPECT_EQ(ReadBytes(work_ / "carol.txt"), content_);
}

TEST_F(TokenWindow, AWrongPinAndACancelledPromptAreTheirOwnFailures) {
    {
        PinDialogAnswers pins(
            {QStringLiteral("1111"), QStringLiteral("2222"), QStringLiteral("3333")});
        Decrypt();
        EXPECT_EQ(pins.labels.size(), 3u) << "three answers, then no more asking";
        ASSERT_FALSE(pins.labels.empty());
        EXPECT_TRUE(pins.labels.back().contains(QStringLiteral("not accepted")));
    }
    {
        PinDialogAnswers pins({QString()});
        Decrypt();
        EXPECT_EQ(pins.labels.size(), 1u);
    }
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[0].kind, Kind::Error);
    EXPECT_EQ(feedback_.shown[1].kind, Kind::Error);
    EXPECT_NE(feedback_.shown[0].text, feedback_.shown[1].text);
    EXPECT_NE(feedback_.shown[0].text.find("The security password entered is incorrect."),
              std::string::npos)
        << feedback_.shown[0].text;
    EXPECT_NE(feedback_.shown[1].text.find("The user pressed cancel."), std::string::npos)
        << feedback_.shown[1].text;
    EXPECT_FALSE(std::filesystem::exists(work_ / "carol.txt"));
}

TEST_F(TokenWindow, EncryptsToTheCardsCertificatePickedFromTheStore) {
    menu_.choices = {ui::id::kAddFromStore};
    QString ownKeyText;
    OnNextModal<QDialog>([&ownKeyText](QDialog* picker) {
        auto* table = picker->findChild<QTreeWidget*>(QStringLiteral("storeCertificates"));
        ASSERT_NE(table, nullptr);
        const auto found = table->findItems(QStringLiteral("Carol Cooper"), Qt::MatchExactly, 0);
        ASSERT_EQ(found.size(), 1);
        ownKeyText = found[0]->text(3);
        table->setCurrentItem(found[0]);
        picker->accept();
    });
    QTest::mouseClick(dialog_->findChild<QPushButton*>(QStringLiteral("addButton")),
                      Qt::LeftButton);
    EXPECT_EQ(ownKeyText, QStringLiteral("Yours, on Carol Card"));
    ASSERT_EQ(dialog_->recipientList().RecipientCount(), 1);

    dialog_->findChild<QLineEdit*>(QStringLiteral("pathBox"))
        ->setText(QString::fromStdString(work_ / "letter.txt"));
    QTest::mouseClick(dialog_->findChild<QCommandLinkButton*>(QStringLiteral("encryptButton")),
                      Qt::LeftButton);
    ASSERT_EQ(feedback_.shown.size(), 1u);
    EXPECT_EQ(feedback_.shown[0].kind, Kind::Information) << feedback_.shown[0].text;

    // Opened with the key as it was before it went onto the card.
    const auto opened = RunCommand({"openssl", "cms", "-decrypt", "-binary", "-inform", "DER",
                                    "-in", work_ / "letter.txt.enc", "-inkey",
                                    FixturePath("carol.key"), "-out", work_ / "by-openssl.txt"});
    ASSERT_EQ(opened.exitCode, 0) << opened.output;
    EXPECT_EQ(ReadBytes(work_ / "by-openssl.txt"), content_);
}

}  // namespace
}  // namespace mirebolt::testing
