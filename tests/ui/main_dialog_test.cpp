// The window used as a person uses it: real widgets clicked, scripted dialogs and boxes.
#include <QDropEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include <filesystem>

#include "ui/column_widths.h"
#include "ui/window_fixture.h"

namespace mirebolt::testing {
namespace {

using Kind = Shown::Kind;

class MainDialog : public WindowTest {
  protected:
    // Adds Alice, Bob and Carol from one file, through the "+" button and its menu.
    void AddThreeFromAFile() {
        menu_.choices = {ui::id::kAddFromFile};
        files_.certificateFiles.push_back(QString::fromStdString(FixturePath("three.pem")));
        QTest::mouseClick(Control<QPushButton>("addButton"), Qt::LeftButton);
    }
};

TEST_F(MainDialog, StartsWithAFocusedEmptyPathBoxAndNoDefaultButton) {
    QApplication::setActiveWindow(dialog_.get());
    EXPECT_EQ(QApplication::focusWidget(), Control<QLineEdit>("pathBox"));
    EXPECT_TRUE(Control<QLineEdit>("pathBox")->text().isEmpty());
    EXPECT_FALSE(Control<QCheckBox>("legacyCipher")->isChecked());
    for (QPushButton* button : dialog_->findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->text().toStdString();
    }
    EXPECT_EQ(dialog_->windowTitle(), QStringLiteral("Mirebolt by Quorvane"));
    EXPECT_FALSE(dialog_->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dialog_->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(dialog_->minimumSize(), dialog_->maximumSize()) << "fixed size";
    EXPECT_FALSE(dialog_->windowIcon().isNull()) << "the icons are compiled in and reachable";
}

TEST_F(MainDialog, TheTypicalUseFromBrowseToEsc) {
    TempDir work;
    const Bytes content = RandomBytes(4321);
    WriteBytes(work / "report.pdf", content);

    files_.anyFiles.push_back(QString::fromStdString(work / "report.pdf"));
    QTest::mouseClick(Control<QPushButton>("browseButton"), Qt::LeftButton);
    EXPECT_EQ(Control<QLineEdit>("pathBox")->text().toStdString(), work / "report.pdf");

    menu_.choices = {ui::id::kAddFromFile, ui::id::kAddFromStore};
    files_.certificateFiles.push_back(QString::fromStdString(FixturePath("three.pem")));
    QTest::mouseClick(Control<QPushButton>("addButton"), Qt::LeftButton);
    EXPECT_EQ(dialog_->recipientList().RecipientCount(), 3);
    picker_.subjects.push_back("Alice Archer");
    QTest::mouseClick(Control<QPushButton>("addButton"), Qt::LeftButton);
    EXPECT_EQ(picker_.shownText,
              "Select a certificate to add to the recipients list for encryption");
    ASSERT_EQ(feedback_.shown.size(), 1u);
    EXPECT_EQ(feedback_.shown[0].text, "The certificate is already present on the list");

    QTest::mouseClick(Control<QCommandLinkButton>("encryptButton"), Qt::LeftButton);
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].kind, Kind::Information);
    EXPECT_EQ(feedback_.shown[1].text,
              "File encrypted successfully.\nEncrypted data written to \"" +
                  work / "report.pdf.enc" + "\"");

    Control<QLineEdit>("pathBox")->setText(QString::fromStdString(work / "report.pdf.enc"));
    std::filesystem::remove(work / "report.pdf");
    QTest::mouseClick(Control<QCommandLinkButton>("decryptButton"), Qt::LeftButton);
    ASSERT_EQ(feedback_.shown.size(), 3u);
    EXPECT_EQ(feedback_.shown[2].kind, Kind::Information) << feedback_.shown[2].text;
    EXPECT_EQ(ReadBytes(work / "report.pdf"), content);

    auto* view = Control<QTreeView>("recipientView");
    view->selectionModel()->select(view->model()->index(1, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::mouseClick(Control<QPushButton>("removeButton"), Qt::LeftButton);
    ASSERT_EQ(dialog_->recipientList().RecipientCount(), 2);
    EXPECT_EQ(dialog_->recipientList().Row(1)->issuedTo, "Carol Cooper");

    QTest::keyClick(dialog_.get(), Qt::Key_Escape);
    EXPECT_EQ(dialog_->result(), 2);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(dialog_->recipientList().RecipientCount(), 0) << "every reference given back";
    EXPECT_EQ(busy_.starts, busy_.ends);
}

// Unfit certificates are still added and still encrypted for, but each row says why it should
// not be: greyed, the caution mark beside its date, the reason as its tooltip.
TEST_F(MainDialog, RowsOfUnfitCertificatesShowTheirReason) {
    TempDir work;
    std::string bundle;
    for (const char* name : {"alice", "dave", "frank", "rita", "nina", "cass"}) {
        const Bytes pem = ReadBytes(FixturePath(std::string(name) + ".pem"));
        bundle.append(pem.begin(), pem.end());
    }
    WriteBytes(work / "mixed.pem", Bytes(bundle.begin(), bundle.end()));
    WriteBytes(work / "report.pdf", RandomBytes(100));
    menu_.choices = {ui::id::kAddFromFile};
    files_.certificateFiles.push_back(QString::fromStdString(work / "mixed.pem"));
    QTest::mouseClick(Control<QPushButton>("addButton"), Qt::LeftButton);
    EXPECT_TRUE(feedback_.shown.empty());

    QAbstractItemModel* rows = Control<QTreeView>("recipientView")->model();
    ASSERT_EQ(rows->rowCount(), 6);
    EXPECT_EQ(rows->columnCount(), 3) << "the columns stay the three they were";
    const QColor greyed = QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
    const char* const kCautions[] = {
        "",        "Expired 2021-01-01",          "Signing only",
        "Revoked", "Not valid before 2099-01-01", "A certificate authority's certificate"};
    for (int row = 0; row < 6; ++row) {
        const QString caution = QString::fromLatin1(kCautions[row]);
        const QModelIndex expiry = rows->index(row, 2);
        EXPECT_EQ(rows->index(row, 0).data(Qt::ToolTipRole).toString(), caution);
        EXPECT_EQ(expiry.data(Qt::DecorationRole).isValid(), !caution.isEmpty()) << row;
        EXPECT_EQ(rows->index(row, 1).data(Qt::ForegroundRole).value<QColor>() == greyed,
                  !caution.isEmpty())
            << row;
        EXPECT_FALSE(rows->index(row, 0).data(Qt::DecorationRole).isNull()) << "the row icon";
    }

    Control<QLineEdit>("pathBox")->setText(QString::fromStdString(work / "report.pdf"));
    QTest::mouseClick(Control<QCommandLinkButton>("encryptButton"), Qt::LeftButton);
    ASSERT_EQ(feedback_.shown.size(), 1u);
    EXPECT_EQ(feedback_.shown[0].kind, Kind::Information) << feedback_.shown[0].text;
}

TEST_F(MainDialog, RemovingNeedsASelectedRowNotJustTheFocus) {
    AddThreeFromAFile();
    auto* view = Control<QTreeView>("recipientView");
    view->selectionModel()->setCurrentIndex(view->model()->index(0, 0),
                                            QItemSelectionModel::NoUpdate);
    QTest::mouseClick(Control<QPushButton>("removeButton"), Qt::LeftButton);
    ASSERT_EQ(feedback_.shown.size(), 1u);
    EXPECT_EQ(feedback_.shown[0].text, "No certificate selected on the list");
    EXPECT_EQ(dialog_->recipientList().RecipientCount(), 3);
}

TEST_F(MainDialog, ARemovalSelectsNoOtherRowSoASecondMinusOnlyWarns) {
    AddThreeFromAFile();
    auto* view = Control<QTreeView>("recipientView");
    const QRect first = view->visualRect(view->model()->index(0, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseClick(Control<QPushButton>("removeButton"), Qt::LeftButton);
    ASSERT_EQ(dialog_->recipientList().RecipientCount(), 2);
    EXPECT_TRUE(view->selectionModel()->selectedIndexes().isEmpty());

    QTest::mouseClick(Control<QPushButton>("removeButton"), Qt::LeftButton);
    QTest::mouseClick(Control<QPushButton>("removeButton"), Qt::LeftButton);
    EXPECT_EQ(dialog_->recipientList().RecipientCount(), 2) << "the list must not empty itself";
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[0].text, "No certificate selected on the list");
}

TEST_F(MainDialog, OnlyTheFirstColumnOfARowIsSelected) {
    AddThreeFromAFile();
    auto* view = Control<QTreeView>("recipientView");
    const QRect expiry = view->visualRect(view->model()->index(1, 2));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, expiry.center());
    EXPECT_EQ(view->selectionModel()->selectedIndexes(),
              QModelIndexList{view->model()->index(1, 0)})
        << "no full-row selection: the row is chosen, its first column highlighted";
    QTest::mouseClick(Control<QPushButton>("removeButton"), Qt::LeftButton);
    ASSERT_EQ(dialog_->recipientList().RecipientCount(), 2);
    EXPECT_EQ(dialog_->recipientList().Row(1)->issuedTo, "Carol Cooper");
}

TEST_F(MainDialog, TheListIgnoresDoubleClicksAndTheDeleteKey) {
    AddThreeFromAFile();
    auto* view = Control<QTreeView>("recipientView");
    view->setFocus();
    view->setCurrentIndex(view->model()->index(1, 0));
    QTest::keyClick(view, Qt::Key_Delete);
    const QRect cell = view->visualRect(view->model()->index(1, 0));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(dialog_->recipientList().RecipientCount(), 3);
    EXPECT_TRUE(feedback_.shown.empty());
}

TEST_F(MainDialog, TheColumnsTakeTheirSharesOfTheViewsWidth) {
    auto* view = Control<QTreeView>("recipientView");
    const ui::ColumnWidths widths = ui::RecipientColumnWidths(view->width());
    EXPECT_EQ(view->columnWidth(0), widths.issuedTo);
    EXPECT_EQ(view->columnWidth(1), widths.issuedBy);
    EXPECT_EQ(view->columnWidth(2), widths.expires);
    EXPECT_FALSE(view->isSortingEnabled());
    EXPECT_EQ(view->selectionMode(), QAbstractItemView::SingleSelection);
}

TEST_F(MainDialog, CutNamesTellThemselvesAndAWidenedColumnCanBeScrolledTo) {
    AddThreeFromAFile();
    auto* view = Control<QTreeView>("recipientView");
    QApplication::processEvents();
    EXPECT_FALSE(view->horizontalScrollBar()->isVisible()) << "the shares fit within the frame";

    auto tip = [view](int row, int column) -> std::optional<QString> {
        const QPoint at = view->visualRect(view->model()->index(row, column)).center();
        QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &help);
        return help.isAccepted() ? std::optional(QToolTip::text()) : std::nullopt;
    };
    EXPECT_FALSE(tip(0, 0)) << "a name shown whole";
    view->header()->resizeSection(0, 40);
    EXPECT_EQ(tip(0, 0), QStringLiteral("Alice Archer"));
    EXPECT_FALSE(tip(0, 1));

    view->header()->resizeSection(0, 3 * view->width() / 4);
    QApplication::processEvents();
    QScrollBar* across = view->horizontalScrollBar();
    ASSERT_TRUE(across->isVisible()) << "the expiry column was pushed out of reach";
    across->setValue(across->maximum());
    EXPECT_LE(view->header()->sectionViewportPosition(2) + view->columnWidth(2),
              view->viewport()->width());
}

TEST_F(MainDialog, CancellingTheDialogsChangesNothing) {
    Control<QLineEdit>("pathBox")->setText(QStringLiteral("typed/earlier"));
    files_.anyFiles.push_back(QString());
    QTest::mouseClick(Control<QPushButton>("browseButton"), Qt::LeftButton);
    EXPECT_EQ(Control<QLineEdit>("pathBox")->text(), QStringLiteral("typed/earlier"));

    menu_.choices = {0, ui::id::kAddFromFile, ui::id::kAddFromStore};
    files_.certificateFiles.push_back(QString());
    picker_.subjects.push_back(std::nullopt);
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(Control<QPushButton>("addButton"), Qt::LeftButton);
    }
    EXPECT_EQ(dialog_->recipientList().RecipientCount(), 0);
    EXPECT_TRUE(feedback_.shown.empty());
}

TEST_F(MainDialog, ThePlusMenuOpensAtThePointerEvenFromTheKeyboard) {
    QCursor::setPos(QPoint(123, 77));
    menu_.choices = {0};
    Control<QPushButton>("addButton")->setFocus();
    QTest::keyClick(Control<QPushButton>("addButton"), Qt::Key_Space);
    ASSERT_EQ(menu_.shownAt.size(), 1u);
    EXPECT_EQ(menu_.shownAt[0], QCursor::pos());
}

TEST_F(MainDialog, ADroppedFileGivesItsLocalPath) {
    auto* box = Control<QLineEdit>("pathBox");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/someone/Documents/report 2026.pdf"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &drop);
    EXPECT_EQ(box->text(), QStringLiteral("/home/someone/Documents/report 2026.pdf"));
}

}  // namespace
}  // namespace mirebolt::testing
