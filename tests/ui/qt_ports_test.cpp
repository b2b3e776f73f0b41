// The window's own boxes and dialogs, as the person meets them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QHelpEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextDocument>
#include <QTextOption>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QtMath>

#include <filesystem>
#include <fstream>
#include <functional>

#include "support/commands.h"
#include "support/test_files.h"
#include "ui/certificate_picker_dialog.h"
#include "ui/control_ids.h"
#include "ui/next_modal.h"
#include "ui/qt_ports.h"

namespace mirebolt::testing {
namespace {

class QtPorts : public ::testing::Test {
  protected:
    QWidget owner_;
    ui::OwnerWindow ownerWindow_{&owner_};
};

// The entries of a widget dialog's file type box, as a person reads them.
QStringList ShownFilters(QFileDialog* dialog) {
    QStringList shown;
    if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        for (int i = 0; i < types->count(); ++i) {
            shown << types->itemText(i);
        }
    }
    return shown;
}

TEST_F(QtPorts, MessageBoxesCarryTheirTitlesIconsAndButtons) {
    ui::MessageBoxFeedback feedback(ownerWindow_);
    struct Case {
        std::function<void()> show;
        const char* title;
        QMessageBox::Icon icon;
    };
    const Case cases[] = {
        {[&] { feedback.ShowWarning("w"); }, "Warning", QMessageBox::Warning},
        {[&] { feedback.ShowInformation("i"); }, "Information", QMessageBox::Information},
        {[&] {
             feedback.ReportError("Failed", Failure{5, "Input/output error"});
         },
         "Error", QMessageBox::Critical},
    };
    for (const Case& c : cases) {
        OnNextModal<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle().toStdString(), c.title);
            EXPECT_EQ(box->icon(), c.icon);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            EXPECT_EQ(box->parentWidget(), &owner_);
            if (c.icon == QMessageBox::Critical) {
                EXPECT_EQ(box->text(),
                          QStringLiteral("Failed\n\nError 0x00000005: Input/output error"));
            }
            box->accept();
        });
        c.show();
    }

    for (auto [button, answer] : {std::pair{QMessageBox::Yes, feedback::Answer::Yes},
                                  std::pair{QMessageBox::No, feedback::Answer::No}}) {
        OnNextModal<QMessageBox>([button = button](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Overwrite?"));
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes)) << "the first button";
            box->button(button)->click();
        });
        EXPECT_EQ(
            feedback.AskYesNo("The decrypted file already exists.\nDo you want to overwrite it?",
                              "Overwrite?", feedback::QuestionIcon::Question),
            answer);
    }
}

TEST_F(QtPorts, ALongFileNameShowsWholeInItsBox) {
    ui::MessageBoxFeedback feedback(ownerWindow_);
    const std::string text =
        "File encrypted successfully.\nEncrypted data written to \"/home/someone/" +
        std::string(200, 'n') + ".txt.enc\"";
    for (bool question : {false, true}) {
        OnNextModal<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->text().toStdString(), text) << "the text itself is unchanged";
            auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            ASSERT_NE(label, nullptr);
            // However the lines break, the whole text must fit the label's visible area, as
            // Qt's own document layout measures it: breaking at spaces where it can, anywhere
            // where it must.
            QTextDocument document;
            document.setDocumentMargin(0);
            document.setDefaultFont(label->font());
            QTextOption wrapping;
            wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            document.setDefaultTextOption(wrapping);
            document.setPlainText(box->text());
            document.setTextWidth(label->contentsRect().width());
            const int height = qCeil(document.size().height());
            EXPECT_GE(label->contentsRect().height(), height) << "the end is cut off";
            EXPECT_LE(box->x() + box->width(), box->screen()->availableGeometry().right() + 1);
            EXPECT_GE(label->geometry().bottom(), label->y() + height - 1);
            box->accept();
        });
        if (question) {
            feedback.AskYesNo(text, "Already Exists", feedback::QuestionIcon::Warning);
        } else {
            feedback.ShowInformation(text);
        }
    }
}

TEST_F(QtPorts, TheWaitCursorCoversTheWindowButNeverItsBoxes) {
    auto* pathBox = new QLineEdit(&owner_);
    const Qt::CursorShape textCursor = pathBox->cursor().shape();
    ui::WindowWaitCursor busy(ownerWindow_);
    ui::MessageBoxFeedback feedback(ownerWindow_);
    busy.ShowBusy();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "not over the whole application";
    EXPECT_EQ(owner_.cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(pathBox->cursor().shape(), Qt::WaitCursor);
    OnNextModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->cursor().shape(), Qt::ArrowCursor);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        box->accept();
    });
    feedback.ShowWarning("w");
    EXPECT_EQ(owner_.cursor().shape(), Qt::WaitCursor) << "until the command's last message";
    busy.ShowIdle();
    EXPECT_EQ(owner_.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(pathBox->cursor().shape(), textCursor);
}

TEST_F(QtPorts, BrowsingOffersOneFilterThatMatchesEveryFileHiddenOnesToo) {
    TempDir dir;
    WriteBytes(dir / "README", {1});
    ui::FileDialogs dialogs(ownerWindow_);
    OnNextModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(ShownFilters(dialog), QStringList{QStringLiteral("All files (*.*)")});
        EXPECT_TRUE(dialog->selectedFiles().isEmpty() ||
                    dialog->selectedFiles().front().isEmpty() ||
                    QFileInfo(dialog->selectedFiles().front()).isDir())
            << "the name starts empty";
        EXPECT_TRUE(dialog->filter() & QDir::Hidden);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(model->nameFilters(), QStringList{QStringLiteral("*")})
            << "names without a dot too";
        dialog->setDirectory(QString::fromStdString(dir.path().string()));
        dialog->selectFile(QStringLiteral("README"));
        static_cast<QDialog*>(dialog)->accept();  // as the Open button does
    });
    std::optional<QString> chosen = dialogs.ChooseAnyFile();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->toStdString(), dir / "README");

    OnNextModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_FALSE(dialogs.ChooseAnyFile());
}

TEST_F(QtPorts, CertificateFilesAreFilteredByTheirFourEndings) {
    ui::FileDialogs dialogs(ownerWindow_);
    OnNextModal<QFileDialog>([](QFileDialog* dialog) {
        EXPECT_EQ(ShownFilters(dialog),
                  QStringList{QStringLiteral("Certificate File (*.cer;*.crt;*.der;*.pem)")});
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(model->nameFilters(),
                  (QStringList{QStringLiteral("*.[cC][eE][rR]"), QStringLiteral("*.[cC][rR][tT]"),
                               QStringLiteral("*.[dD][eE][rR]"), QStringLiteral("*.[pP][eE][mM]")}))
            << "the four endings in either case, and only those";
        dialog->reject();
    });
    EXPECT_FALSE(dialogs.ChooseCertificateFile());
}

TEST_F(QtPorts, TheSaveDialogAsksForAnyNameBesideTheInputAndMayBeCancelled) {
    TempDir dir;
    ui::FileDialogs dialogs(ownerWindow_);
    OnNextModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->directory().absolutePath().toStdString(), dir.path().string());
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        EXPECT_TRUE(name->text().isEmpty()) << "the name starts empty";
        dialog->setDirectory(QString::fromStdString(dir.path().string()));
        dialog->selectFile(QStringLiteral("opened.txt"));
        static_cast<QDialog*>(dialog)->accept();  // as the Save button does
    });
    EXPECT_EQ(dialogs.AskSaveFileName(dir / "letter.p7"), dir / "opened.txt");
    OnNextModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(dialogs.AskSaveFileName(dir / "letter.p7"), std::nullopt);
}

TEST_F(QtPorts, ThePasswordPromptNamesTheTokenAndMasksTheInput) {
    ui::PasswordDialogPrompt prompt(ownerWindow_);
    OnNextModal<QInputDialog>([](QInputDialog* dialog) {
        EXPECT_TRUE(dialog->labelText().contains(QStringLiteral("\"Personal certificate store\"")));
        EXPECT_EQ(dialog->textEchoMode(), QLineEdit::Password);
        dialog->setTextValue(QStringLiteral("carol-secret"));
        dialog->accept();
    });
    const std::optional<platform::Secret> typed =
        prompt.AskSecret("Personal certificate store", false);
    ASSERT_TRUE(typed.has_value());
    EXPECT_EQ(typed->view(), "carol-secret");
    OnNextModal<QInputDialog>([](QInputDialog* dialog) {
        EXPECT_TRUE(dialog->labelText().contains(QStringLiteral("not accepted")));
        dialog->reject();
    });
    EXPECT_EQ(prompt.AskSecret("Personal certificate store", true), std::nullopt);
}

TEST_F(QtPorts, TheActionMenuOffersItsTwoItemsAtThePoint) {
    ui::PopupActionMenu menu(ownerWindow_);
    for (auto [keys, expected] : {std::pair{1, ui::id::kAddFromFile},
                                  std::pair{2, ui::id::kAddFromStore}, std::pair{0, 0}}) {
        QTimer::singleShot(50, [keys = keys] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(popup, nullptr);
            ASSERT_EQ(popup->actions().size(), 2);
            EXPECT_EQ(popup->actions()[0]->text(), QStringLiteral("Add From File"));
            EXPECT_EQ(popup->actions()[1]->text(), QStringLiteral("Add From Certificate Store"));
            EXPECT_EQ(popup->pos(), QPoint(40, 30));
            if (keys == 0) {
                QTest::keyClick(popup, Qt::Key_Escape);
                return;
            }
            for (int i = 0; i < keys; ++i) {
                QTest::keyClick(popup, Qt::Key_Down);
            }
            QTest::keyClick(popup, Qt::Key_Return);
        });
        EXPECT_EQ(menu.Choose(QPoint(40, 30)), expected);
    }
}

TEST_F(QtPorts, ThePickerMarksOwnCertificatesAndShowsTheSelectedOnesParticulars) {
    StoreCopy alices("store-alice");
    ui::CertificatePickerDialog picker(ownerWindow_);
    OnNextModal<QDialog>([](QDialog* dialog) {
        auto* table = dialog->findChild<QTreeWidget*>(QStringLiteral("storeCertificates"));
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(table->topLevelItemCount(), 3);
        EXPECT_EQ(table->topLevelItem(0)->text(0), QStringLiteral("Alice Archer"));
        EXPECT_EQ(table->topLevelItem(0)->text(3), QStringLiteral("Yours"));
        EXPECT_EQ(table->headerItem()->text(4), QStringLiteral("Key Type"));
        EXPECT_EQ(table->topLevelItem(0)->text(4), QStringLiteral("RSA 2048"));
        EXPECT_EQ(table->topLevelItem(1)->text(3), QString());
        table->setCurrentItem(table->topLevelItem(1));
        const QString details =
            dialog->findChild<QPlainTextEdit*>(QStringLiteral("certificateDetails"))->toPlainText();
        for (const char* part :
             {"Subject:", "CN=Bob Baker", "Issuer:", "Serial number:\t10:02",
              "Valid from:", "Key usage:\tDigital Signature, Key Encipherment", "SHA-256:"}) {
            EXPECT_TRUE(details.contains(QString::fromLatin1(part))) << part << "\n"
                                                                     << details.toStdString();
        }
        dialog->accept();
    });
    std::optional<platform::Certificate> picked = picker.Pick(
        alices.store(), "Select a certificate to add to the recipients list for encryption");
    ASSERT_TRUE(picked);
    EXPECT_EQ(platform::SubjectDisplayName(*picked), "Bob Baker");

    OnNextModal<QDialog>([](QDialog* dialog) { dialog->reject(); });
    EXPECT_FALSE(picker.Pick(alices.store(), "text"));
}

// A store of its own: Frank's certificate, for signing only, and Dave's, expired.
class PickerCautions : public QtPorts {
  protected:
    void SetUp() override {
        const std::string database = "sql:" + (folder_.path() / "db").string();
        std::filesystem::create_directory(folder_.path() / "db");
        ASSERT_EQ(RunCommand({"certutil", "-N", "-d", database, "--empty-password"}).exitCode, 0);
        for (const char* name : {"frank", "dave"}) {
            ASSERT_EQ(RunCommand({"certutil", "-A", "-d", database, "-n", name, "-t", ",,", "-i",
                                  FixturePath(std::string(name) + ".pem")})
                          .exitCode,
                      0);
        }
        Result<platform::PersonalStore> store =
            platform::PersonalStore::Open((folder_.path() / "db").string());
        ASSERT_TRUE(store);
        store_.emplace(std::move(*store));
    }
    TempDir folder_;
    std::optional<platform::PersonalStore> store_;
};

TEST_F(PickerCautions, ExpiredAndSigningOnlyCertificatesAreGreyedWithTheirReasonAndNotOffered) {
    ui::CertificatePickerDialog picker(ownerWindow_);
    OnNextModal<QDialog>([](QDialog* dialog) {
        auto* table = dialog->findChild<QTreeWidget*>(QStringLiteral("storeCertificates"));
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(table->topLevelItemCount(), 2);
        const QColor greyed = dialog->palette().color(QPalette::Disabled, QPalette::Text);
        const int note = table->columnCount() - 1;
        EXPECT_EQ(table->headerItem()->text(note), QStringLiteral("Note"));
        for (int row = 0; row < 2; ++row) {
            QTreeWidgetItem* item = table->topLevelItem(row);
            const QString expected = item->text(0) == QStringLiteral("Dave Expired")
                                         ? QStringLiteral("Expired 2021-01-01")
                                         : QStringLiteral("Signing only");
            EXPECT_EQ(item->text(note), expected);
            EXPECT_EQ(item->foreground(0).color(), greyed) << expected.toStdString();
            EXPECT_TRUE(item->flags() & Qt::ItemIsSelectable) << "still a choice";
        }
        EXPECT_TRUE(table->selectedItems().isEmpty()) << "neither is offered first";
        table->setCurrentItem(table->topLevelItem(1));
        dialog->accept();
    });
    EXPECT_TRUE(picker.Pick(*store_, "text")) << "a greyed certificate can still be chosen";
}

TEST_F(QtPorts, ThePickersParticularsStandInOneColumnPastTheirLabels) {
    StoreCopy alices("store-alice");
    ui::CertificatePickerDialog picker(ownerWindow_);
    OnNextModal<QDialog>([](QDialog* dialog) {
        auto* table = dialog->findChild<QTreeWidget*>(QStringLiteral("storeCertificates"));
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->currentItem(), table->topLevelItem(0)) << "Alice's own, fit to use";
        EXPECT_TRUE(table->topLevelItem(0)->text(table->columnCount() - 1).isEmpty());
        auto* details = dialog->findChild<QPlainTextEdit*>(QStringLiteral("certificateDetails"));
        ASSERT_NE(details, nullptr);
        EXPECT_EQ(details->lineWrapMode(), QPlainTextEdit::NoWrap);
        ASSERT_EQ(details->toPlainText().count(QLatin1Char('\t')), 6) << "six particulars";
        for (const QString& line : details->toPlainText().split(QLatin1Char('\n'))) {
            const QString label = line.section(QLatin1Char('\t'), 0, 0);
            EXPECT_LT(details->fontMetrics().horizontalAdvance(label), details->tabStopDistance())
                << label.toStdString() << " pushes its value to a later tab stop";
        }
        dialog->reject();
    });
    EXPECT_FALSE(picker.Pick(alices.store(), "text"));
}

// Fifty certificates of one's own, every tenth with a name too long for its column.
class FiftyInThePicker : public QtPorts {
  protected:
    static std::string Name(int i) {
        char number[8];
        std::snprintf(number, sizeof number, "%02d", i);
        return i % 10 == 0 ? "Maximiliane Aurelia Bartholomew-Fitzgerald of the Northern Office " +
                                 std::string(number)
                           : "Person " + std::string(number);
    }

    void SetUp() override {
        const std::string database = "sql:" + (folder_.path() / "db").string();
        std::filesystem::create_directory(folder_.path() / "db");
        ASSERT_EQ(RunCommand({"certutil", "-N", "-d", database, "--empty-password"}).exitCode, 0);
        WriteBytes(folder_ / "noise", RandomBytes(64));
        {
            std::ofstream batch(folder_ / "batch");
            for (int i = 1; i <= 50; ++i) {
                batch << "-S -n c" << i << " -s \"CN=" << Name(i) << "\" -x -t ,, -k ec -q "
                      << "secp256r1 -v 24 -m " << i << " -z " << (folder_ / "noise") << "\n";
            }
        }
        ASSERT_EQ(RunCommand({"certutil", "-B", "-i", folder_ / "batch", "-d", database}).exitCode,
                  0);
        Result<platform::PersonalStore> store =
            platform::PersonalStore::Open((folder_.path() / "db").string());
        ASSERT_TRUE(store);
        store_.emplace(std::move(*store));
    }

    // Whether a tooltip shows for the cell, and the text it shows.
    static std::optional<QString> TipOf(QTreeView& table, const QModelIndex& index) {
        table.scrollTo(index);
        const QPoint at = table.visualRect(index).center();
        QHelpEvent help(QEvent::ToolTip, at, table.viewport()->mapToGlobal(at));
        QApplication::sendEvent(table.viewport(), &help);
        if (!help.isAccepted()) {
            return std::nullopt;
        }
        return QToolTip::text();
    }

    TempDir folder_;
    std::optional<platform::PersonalStore> store_;
};

// Run on a screen of 1280 by 800 pixels scaled by 2 as well as on the usual one.
TEST_F(FiftyInThePicker, FitsTheScreenShowsTheKeyColumnsAndFilters) {
    owner_.show();
    ui::CertificatePickerDialog picker(ownerWindow_);
    OnNextModal<QDialog>([](QDialog* dialog) {
        const QRect area = dialog->screen()->availableGeometry();
        EXPECT_TRUE(area.contains(dialog->frameGeometry()))
            << "frame " << dialog->frameGeometry().x() << "," << dialog->frameGeometry().y() << " "
            << dialog->frameGeometry().width() << "x" << dialog->frameGeometry().height() << " on "
            << area.width() << "x" << area.height();
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        for (QAbstractButton* button : buttons->buttons()) {
            const QRect place(button->mapTo(dialog, QPoint(0, 0)), button->size());
            EXPECT_TRUE(dialog->rect().contains(place)) << button->text().toStdString();
        }

        auto* table = dialog->findChild<QTreeWidget*>(QStringLiteral("storeCertificates"));
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(table->topLevelItemCount(), 50);
        const int rowHeight = table->visualRect(table->model()->index(0, 0)).height();
        EXPECT_GE(table->viewport()->height() / rowHeight, area.height() >= 600 ? 14 : 5)
            << "rows shown";
        // Issued To, Issued By, Expiration Date, Private Key and Key Type in sight at once.
        const QHeaderView* header = table->header();
        for (int column = 0; column < 5; ++column) {
            EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSize(column),
                      table->viewport()->width())
                << column;
            const int least =
                column < 2 ? header->sectionSizeHint(column)
                           : static_cast<QAbstractItemView*>(table)->sizeHintForColumn(column);
            EXPECT_GE(header->sectionSize(column), least) << column << " cut short";
        }

        QTreeWidgetItem* longName = nullptr;
        QTreeWidgetItem* seventh = nullptr;
        for (int row = 0; row < 50; ++row) {
            QTreeWidgetItem* item = table->topLevelItem(row);
            if (item->text(0).endsWith(QStringLiteral("Office 20"))) {
                longName = item;
            } else if (item->text(0) == QStringLiteral("Person 07")) {
                seventh = item;
            }
        }
        ASSERT_NE(longName, nullptr);
        ASSERT_NE(seventh, nullptr);
        const std::optional<QString> cut = TipOf(*table, table->indexFromItem(longName, 0));
        ASSERT_TRUE(cut) << "a cut name tells itself";
        EXPECT_TRUE(cut->startsWith(longName->text(0))) << cut->toStdString();
        const std::optional<QString> whole = TipOf(*table, table->indexFromItem(seventh, 4));
        EXPECT_EQ(whole.value_or(QString()), seventh->toolTip(4))
            << "a key type shown whole has no tooltip but its own";

        // A selection the filter hides is no longer chosen; Down goes on into what is left.
        auto* filter = dialog->findChild<QLineEdit*>(QStringLiteral("certificateFilter"));
        ASSERT_NE(filter, nullptr);
        EXPECT_FALSE(filter->placeholderText().isEmpty());
        EXPECT_FALSE(filter->accessibleName().isEmpty());
        EXPECT_TRUE(filter->isClearButtonEnabled());
        QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
        table->setCurrentItem(longName);
        EXPECT_TRUE(ok->isEnabled());
        filter->setFocus();
        QTest::keyClicks(filter, QStringLiteral("PERSON 0"));
        int shown = 0;
        for (int row = 0; row < 50; ++row) {
            shown += table->topLevelItem(row)->isHidden() ? 0 : 1;
        }
        EXPECT_EQ(shown, 9) << "Person 01 to Person 09";
        EXPECT_TRUE(table->selectedItems().isEmpty());
        EXPECT_FALSE(ok->isEnabled());
        QTest::keyClicks(filter, QStringLiteral("7"));
        QTest::keyClick(filter, Qt::Key_Down);
        EXPECT_EQ(dialog->focusWidget(), table);
        EXPECT_EQ(table->selectedItems(), QList<QTreeWidgetItem*>{seventh});
        EXPECT_TRUE(ok->isEnabled());
        ok->click();
    });
    std::optional<platform::Certificate> picked = picker.Pick(*store_, "text");
    ASSERT_TRUE(picked);
    EXPECT_EQ(platform::SubjectDisplayName(*picked), "Person 07");
}

}  // namespace
}  // namespace mirebolt::testing
