// Every row of the main dialog's routing table, and what it leaves alone.
#include <QTest>

#include "ui/about_box.h"
#include "ui/control_ids.h"
#include "ui/external_commands.h"
#include "ui/window_fixture.h"

namespace mirebolt::testing {
namespace {

using ui::Message;
using ui::MessageKind;
namespace id = ui::id;

class Routing : public WindowTest {
  protected:
    bool Command(int identifier, int code = 0) {
        return dialog_->Dispatch(Message{MessageKind::Command, identifier, code});
    }
    std::string LastText() const {
        return feedback_.shown.empty() ? "" : feedback_.shown.back().text;
    }
};

TEST_F(Routing, OkEndsWithOneWhateverTheCode) {
    EXPECT_TRUE(Command(id::kOk, 1));
    EXPECT_EQ(dialog_->result(), 1);
    EXPECT_FALSE(dialog_->isVisible());
}

TEST_F(Routing, CancelGivesBackTheRecipientsAndEndsWithTwo) {
    menu_.choices = {id::kAddFromFile};
    files_.certificateFiles.push_back(QString::fromStdString(FixturePath("three.p7b")));
    EXPECT_TRUE(Command(id::kAdd));
    ASSERT_EQ(dialog_->recipientList().RecipientCount(), 3);
    EXPECT_TRUE(Command(id::kCancel, 7));
    EXPECT_EQ(dialog_->result(), 2);
    EXPECT_EQ(dialog_->recipientList().RecipientCount(), 0);
}

TEST_F(Routing, ButtonsActOnTheClickNotificationOnly) {
    EXPECT_FALSE(Command(id::kBrowse, 1));
    EXPECT_FALSE(Command(id::kAdd, 1));
    EXPECT_FALSE(Command(id::kRemove, 5));
    EXPECT_FALSE(Command(id::kEncrypt, 1));
    EXPECT_FALSE(Command(id::kDecryptCommand, 1));
    EXPECT_EQ(files_.asked, 0);
    EXPECT_TRUE(menu_.shownAt.empty());
    EXPECT_TRUE(feedback_.shown.empty());

    files_.anyFiles.push_back(QString());
    EXPECT_TRUE(Command(id::kBrowse));
    EXPECT_EQ(files_.asked, 1);
    menu_.choices = {0};
    EXPECT_TRUE(Command(id::kAdd));
    EXPECT_EQ(menu_.shownAt.size(), 1u);
}

TEST_F(Routing, EncryptAndDecryptArriveByButtonAndByCommand) {
    const std::pair<int, const char*> routes[] = {
        {id::kEncrypt, "Please select a file to encrypt"},
        {id::kEncryptCommand, "Please select a file to encrypt"},
        {id::kDecrypt, "Please select a file to decrypt"},
        {id::kDecryptCommand, "Please select a file to decrypt"},
        {id::kRemove, "No certificate selected on the list"},
    };
    for (const auto& [identifier, text] : routes) {
        EXPECT_TRUE(Command(identifier)) << identifier;
        EXPECT_EQ(LastText(), text) << identifier;
    }
    EXPECT_EQ(feedback_.shown.size(), 5u);
}

TEST_F(Routing, TheCheckBoxOnlyTicks) {
    auto* box = Control<QCheckBox>("legacyCipher");
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(Command(id::kLegacyCipher));
    EXPECT_FALSE(Command(id::kLegacyCipher, 1));
    EXPECT_TRUE(feedback_.shown.empty());
    EXPECT_TRUE(dialog_->isVisible());
}

TEST_F(Routing, TheLinkOpensTheSiteOnAClickOnly) {
    EXPECT_TRUE(dialog_->Dispatch(Message{MessageKind::Notify, id::kSiteLink, ui::kLinkClicked}));
    ASSERT_EQ(urls_.opened.size(), 1u);
    EXPECT_EQ(urls_.opened[0], QUrl(QStringLiteral("https://quorvane.example")));
    EXPECT_FALSE(dialog_->Dispatch(Message{MessageKind::Notify, id::kSiteLink, -4}));  // Enter

    auto* link = Control<QLabel>("siteLink");
    link->setFocus();
    QTest::keyClick(dialog_.get(), Qt::Key_Return);
    EXPECT_EQ(urls_.opened.size(), 1u);
    EXPECT_TRUE(dialog_->isVisible()) << "Enter on the link is not OK either";
}

TEST_F(Routing, ThePathBoxListAndUnknownCommandsAreNotHandled) {
    EXPECT_FALSE(Command(id::kPathBox, 0x300));
    EXPECT_FALSE(Command(id::kRecipientView));
    EXPECT_FALSE(Command(4242));
    EXPECT_FALSE(dialog_->Dispatch(Message{MessageKind::Notify, id::kRecipientView, -3}));
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_TRUE(feedback_.shown.empty());
}

TEST_F(Routing, TheAboutCommandOpensAFreshBoxEachTime) {
    for (auto [key, code] : {std::pair{Qt::Key_Escape, 2}, std::pair{Qt::Key_Return, 1}}) {
        bool seen = false;
        OnNextModal<ui::AboutBox>([&, key = key, code = code](ui::AboutBox* box) {
            seen = true;
            EXPECT_EQ(box->windowTitle(), QStringLiteral("About"));
            EXPECT_EQ(box->pos(), dialog_->mapToGlobal(QPoint(0, 0)));
            QTest::keyClick(box, key);
            EXPECT_EQ(box->result(), code);
        });
        EXPECT_TRUE(Command(id::kAbout, 3));
        EXPECT_TRUE(seen);
        EXPECT_TRUE(dialog_->isVisible());
    }
}

TEST_F(Routing, KeysFollowTheFocus) {
    QApplication::setActiveWindow(dialog_.get());
    files_.anyFiles.push_back(QString());
    Control<QPushButton>("browseButton")->setFocus();
    QTest::keyClick(dialog_.get(), Qt::Key_Return);
    EXPECT_EQ(files_.asked, 1) << "Enter clicks the focused button";
    EXPECT_TRUE(dialog_->isVisible());

    Control<QCheckBox>("legacyCipher")->setFocus();
    QTest::keyClick(dialog_.get(), Qt::Key_Enter);
    EXPECT_EQ(dialog_->result(), 1) << "Enter on the check box is OK";
}

TEST_F(Routing, EnterInThePathBoxIsOk) {
    QTest::keyClick(Control<QLineEdit>("pathBox"), Qt::Key_Return);
    EXPECT_EQ(dialog_->result(), 1);
}

TEST_F(Routing, TheCloseBoxIsCancel) {
    dialog_->close();
    EXPECT_EQ(dialog_->result(), 2);
}

TEST_F(Routing, ExternalCommandsFeedTheSameTable) {
    ui::ExternalCommands external(*dialog_);
    EXPECT_FALSE(external.Register()) << "no session bus here, and no harm done";
    external.Command(id::kEncryptCommand, 0);
    external.Command(id::kDecryptCommand, 0);
    external.Command(id::kBrowse, 1);  // not a click: nothing
    QCoreApplication::processEvents();
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[0].text, "Please select a file to encrypt");
    EXPECT_EQ(feedback_.shown[1].text, "Please select a file to decrypt");
    external.Command(id::kOk, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog_->result(), 1);
}

}  // namespace
}  // namespace mirebolt::testing
