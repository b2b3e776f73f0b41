#include "ui/certificate_picker_dialog.h"

#include <QColor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

#include "feedback/date_text.h"
#include "recipients/recipient_list.h"
#include "ui/certificate_caution.h"
#include "ui/elided_tips.h"
#include "ui/translation.h"

namespace mirebolt::ui {

namespace {

QString DateText(const platform::CalendarDate& date) {
    return QString::fromStdString(feedback::ShortDateText(date, QLocale::system()));
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

constexpr int kIssuedToColumn = 0;
constexpr int kIssuedByColumn = 1;
constexpr int kExpiryColumn = 2;
constexpr int kOwnKeyColumn = 3;
constexpr int kKeyTypeColumn = 4;
constexpr int kCautionColumn = 5;

// Down in the filter box goes on into the table, to the current row or the first one shown.
class DownIntoTable : public QObject {
  public:
    DownIntoTable(QLineEdit& filter, QTreeWidget& table) : QObject(&filter), table_(table) {
        filter.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress ||
            static_cast<QKeyEvent*>(event)->key() != Qt::Key_Down) {
            return QObject::eventFilter(watched, event);
        }
        table_.setFocus(Qt::TabFocusReason);
        QTreeWidgetItem* current = table_.currentItem();
        if (current == nullptr || current->isHidden() || !current->isSelected()) {
            for (int row = 0; row < table_.topLevelItemCount(); ++row) {
                if (!table_.topLevelItem(row)->isHidden()) {
                    table_.setCurrentItem(table_.topLevelItem(row));
                    break;
                }
            }
        }
        return true;
    }

  private:
    QTreeWidget& table_;
};

// Shows only the rows with the text in one of their columns, ignoring case. A selected row that
// goes out of sight is no longer chosen: OK would take a certificate the person cannot see.
void ApplyFilter(QTreeWidget& table, const QString& text) {
    for (int row = 0; row < table.topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = table.topLevelItem(row);
        bool matches = text.isEmpty();
        for (int column = 0; !matches && column < table.columnCount(); ++column) {
            matches = item->text(column).contains(text, Qt::CaseInsensitive);
        }
        item->setHidden(!matches);
        if (!matches && item->isSelected()) {
            table.clearSelection();
        }
    }
}

// The widths of the columns, set once: the short ones as wide as what they hold, the names
// sharing what is left of `usable` pixels, so that the names never push the expiry and key
// columns out of sight; a long name is cut short and its tooltip gives it whole. The note
// takes the rest of the row.
void FitColumns(QTreeWidget& table, int usable) {
    QHeaderView& header = *table.header();
    header.setSectionResizeMode(QHeaderView::Interactive);
    header.setStretchLastSection(true);
    for (int column : {kExpiryColumn, kOwnKeyColumn, kKeyTypeColumn}) {
        table.resizeColumnToContents(column);
    }
    // "Yours, on" a token of a long name: no wider than the heading's twice.
    const int ownKeyLimit = 2 * header.sectionSizeHint(kOwnKeyColumn);
    if (table.columnWidth(kOwnKeyColumn) > ownKeyLimit) {
        table.setColumnWidth(kOwnKeyColumn, ownKeyLimit);
    }
    const int noteRoom = header.sectionSizeHint(kCautionColumn);
    const int fixed = table.columnWidth(kExpiryColumn) + table.columnWidth(kOwnKeyColumn) +
                      table.columnWidth(kKeyTypeColumn) + noteRoom;
    const int least = 8 * table.fontMetrics().averageCharWidth();
    const int names = std::max(2 * least, usable - fixed);
    // QTreeWidget hides the view's public measure.
    const QAbstractItemView& view = table;
    // A column of short names leaves its room to the other one, and two such to the note.
    const int issuedToWanted =
        std::max(view.sizeHintForColumn(kIssuedToColumn), header.sectionSizeHint(kIssuedToColumn));
    const int issuedByWanted =
        std::max(view.sizeHintForColumn(kIssuedByColumn), header.sectionSizeHint(kIssuedByColumn));
    int issuedTo = names / 2;
    int issuedBy = names - issuedTo;
    if (issuedToWanted < issuedTo) {
        issuedTo = issuedToWanted;
        issuedBy = std::min(issuedByWanted, names - issuedTo);
    } else if (issuedByWanted < issuedBy) {
        issuedBy = issuedByWanted;
        issuedTo = std::min(issuedToWanted, names - issuedBy);
    }
    table.setColumnWidth(kIssuedToColumn, std::max(least, issuedTo));
    table.setColumnWidth(kIssuedByColumn, std::max(least, issuedBy));
}

// The picker's size and place: roomy where the screen allows, more rows on a taller screen,
// never larger than the screen's free area less the window's frame, and moved over its owner
// only as far as the whole frame stays inside that area, so that OK and Cancel stay on the
// screen even when it is scaled.
void PlacePicker(QDialog& dialog, const QWidget* owner) {
    const QWidget* window = owner != nullptr ? owner->window() : nullptr;
    QScreen* screen = window != nullptr ? window->screen() : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    // The owner's own frame tells what the desktop adds around a window; before it is shown,
    // a title bar's worth is kept free.
    QSize frame(16, 40);
    if (window != nullptr && window->isVisible()) {
        const QSize margins = window->frameGeometry().size() - window->size();
        if (margins.width() > 0 || margins.height() > 0) {
            frame = margins;
        }
    }
    // A few pixels spare, for the rounding of a scaled screen's coordinates.
    const QSize room = area.size() - frame - QSize(4, 4);
    const int width = std::max(640, std::min(900, area.width() * 3 / 5));
    const int height = std::max(420, area.height() * 7 / 10);
    const QSize size(std::min(width, room.width()), std::min(height, room.height()));
    dialog.resize(size);

    QRect outer(QPoint(0, 0), size + frame);
    outer.moveCenter(window != nullptr && window->isVisible() ? window->frameGeometry().center()
                                                              : area.center());
    outer.moveLeft(
        std::max(area.left() + 2, std::min(outer.left(), area.right() - 2 - outer.width())));
    outer.moveTop(
        std::max(area.top() + 2, std::min(outer.top(), area.bottom() - 2 - outer.height())));
    dialog.move(outer.topLeft());
}

}  // namespace

// The labels of the particulars, each followed by a tab and its value.
const char* const kDetailLabels[] = {
    QT_TRANSLATE_NOOP("Mirebolt", "Subject:"),       QT_TRANSLATE_NOOP("Mirebolt", "Issuer:"),
    QT_TRANSLATE_NOOP("Mirebolt", "Serial number:"), QT_TRANSLATE_NOOP("Mirebolt", "Valid from:"),
    QT_TRANSLATE_NOOP("Mirebolt", "Key usage:"),     QT_TRANSLATE_NOOP("Mirebolt", "SHA-256:")};

QString CertificateDetails(const platform::Certificate& certificate) {
    const std::string usage = platform::KeyUsageText(certificate);
    const QString values[] = {
        Text(platform::SubjectText(certificate)),
        Text(platform::IssuerText(certificate)),
        Text(platform::SerialNumberText(certificate)),
        Texts::tr("%1 to %2 (UTC)")
            .arg(DateText(platform::NotBeforeDate(certificate)),
                 DateText(platform::NotAfterDate(certificate))),
        usage.empty() ? Texts::tr("any") : Text(usage),
        Text(platform::Sha256Fingerprint(certificate)),
    };
    static_assert(std::size(values) == std::size(kDetailLabels));
    QStringList lines;
    for (std::size_t i = 0; i < std::size(values); ++i) {
        lines << Texts::tr(kDetailLabels[i]) + QLatin1Char('\t') + values[i];
    }
    return lines.join(QLatin1Char('\n'));
}

namespace {

// Where the person's private key is: in the store itself, or on a smart card or token.
QString OwnKeyText(const platform::StoreCertificate& entry) {
    if (!entry.ownKey) {
        return QString();
    }
    if (entry.tokenName.empty()) {
        return Texts::tr("Yours");
    }
    return Texts::tr("Yours, on %1").arg(Text(entry.tokenName));
}

}  // namespace

std::optional<platform::Certificate> CertificatePickerDialog::Pick(
    const platform::PersonalStore& store, const std::string& displayString) {
    std::vector<platform::StoreCertificate> listed = store.PickerCertificates();

    QDialog dialog(owner_.widget);
    dialog.setWindowTitle(Texts::tr("Select Certificate"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* prompt = new QLabel(ShownText(displayString), &dialog);
    layout->addWidget(prompt);

    auto* filter = new QLineEdit(&dialog);
    filter->setObjectName(QStringLiteral("certificateFilter"));
    filter->setPlaceholderText(Texts::tr("Filter"));
    filter->setAccessibleName(Texts::tr("Filter the certificates"));
    filter->setAccessibleDescription(
        Texts::tr("Shows only the certificates with this text in one of their columns"));
    filter->setClearButtonEnabled(true);
    layout->addWidget(filter);

    auto* table = new QTreeWidget(&dialog);
    table->setObjectName(QStringLiteral("storeCertificates"));
    prompt->setBuddy(table);
    table->setAccessibleName(Texts::tr("Certificates"));
    table->setAccessibleDescription(prompt->text());
    table->setHeaderLabels({Texts::tr("Issued To"), Texts::tr("Issued By"),
                            Texts::tr("Expiration Date"), Texts::tr("Private Key"),
                            Texts::tr("Key Type"), Texts::tr("Note")});
    table->setRootIsDecorated(false);
    table->setUniformRowHeights(true);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setItemDelegate(new ElidedTextTips(table));
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    const QColor greyed = dialog.palette().color(QPalette::Disabled, QPalette::Text);
    QTreeWidgetItem* likeliest = nullptr;
    for (const platform::StoreCertificate& entry : listed) {
        auto* item = new QTreeWidgetItem(table);
        item->setText(kIssuedToColumn, Text(platform::SubjectDisplayName(entry.certificate)));
        item->setText(kIssuedByColumn, Text(platform::IssuerDisplayName(entry.certificate)));
        item->setText(kExpiryColumn,
                      Text(recipients::ExpiryText(entry.certificate, QLocale::system())));
        item->setText(kOwnKeyColumn, OwnKeyText(entry));
        item->setText(kKeyTypeColumn, Text(platform::KeyDescription(entry.certificate)));
        if (entry.ownKey) {
            QFont bold = item->font(0);
            bold.setBold(true);
            item->setFont(0, bold);
            item->setToolTip(0, Texts::tr("You hold the private key of this certificate"));
        }
        // Still a choice, as the person may know better, but never the one offered first.
        const platform::CertificateStatus status =
            platform::CheckRecipientCertificate(entry.certificate);
        const QString caution = CertificateCaution(status, entry.certificate);
        item->setText(kCautionColumn, caution);
        if (!caution.isEmpty()) {
            const QString details = CautionDetails(status, entry.certificate);
            for (int column = 0; column < table->columnCount(); ++column) {
                item->setForeground(column, greyed);
                item->setToolTip(column, details);
            }
        } else if (likeliest == nullptr) {
            likeliest = item;
        }
    }
    layout->addWidget(table, 1);

    auto* details = new QPlainTextEdit(&dialog);
    details->setObjectName(QStringLiteral("certificateDetails"));
    details->setAccessibleName(Texts::tr("Certificate details"));
    details->setReadOnly(true);
    details->setPlaceholderText(Texts::tr("Select a certificate to see its details."));
    // Every value starts at the same tab stop, past the widest label; long values scroll
    // rather than wrap back under the labels.
    int widestLabel = 0;
    for (const char* label : kDetailLabels) {
        widestLabel =
            std::max(widestLabel, details->fontMetrics().horizontalAdvance(Texts::tr(label)));
    }
    details->setTabStopDistance(widestLabel + details->fontMetrics().averageCharWidth() * 2);
    details->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Room for the six particulars and a scroll bar, no more: the rest of the height goes to
    // the table's rows.
    const int detailLines = static_cast<int>(std::size(kDetailLabels)) + 1;
    details->setMaximumHeight(detailLines * details->fontMetrics().lineSpacing() +
                              2 * details->frameWidth() +
                              static_cast<int>(2 * details->document()->documentMargin()) +
                              details->horizontalScrollBar()->sizeHint().height());
    layout->addWidget(details);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // The row of the one selected item, or none; the rows stay in the store's order whatever
    // the filter hides, so a row is also the certificate's place in `listed`.
    auto chosenRow = [table, &listed]() -> std::optional<std::size_t> {
        const QList<QTreeWidgetItem*> selected = table->selectedItems();
        if (selected.isEmpty() || selected.front()->isHidden()) {
            return std::nullopt;
        }
        const int row = table->indexOfTopLevelItem(selected.front());
        if (row < 0 || static_cast<std::size_t>(row) >= listed.size()) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(row);
    };
    QObject::connect(table, &QTreeWidget::itemSelectionChanged, &dialog, [&] {
        const std::optional<std::size_t> row = chosenRow();
        buttons->button(QDialogButtonBox::Ok)->setEnabled(row.has_value());
        details->setPlainText(row ? CertificateDetails(listed[*row].certificate) : QString());
    });
    QObject::connect(table, &QTreeWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    QObject::connect(filter, &QLineEdit::textChanged, table,
                     [table](const QString& text) { ApplyFilter(*table, text); });
    new DownIntoTable(*filter, *table);

    PlacePicker(dialog, owner_.widget);
    const QMargins margins = layout->contentsMargins();
    FitColumns(*table, dialog.width() - margins.left() - margins.right() - 2 * table->frameWidth() -
                           table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table));
    // The user's own certificates come first: the first of them fit for encryption is the
    // likeliest choice.
    table->setFocus();
    if (likeliest != nullptr) {
        table->setCurrentItem(likeliest);
    }

    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const std::optional<std::size_t> row = chosenRow();
    if (!row) {
        return std::nullopt;
    }
    return std::move(listed[*row].certificate);
}

}  // namespace mirebolt::ui
