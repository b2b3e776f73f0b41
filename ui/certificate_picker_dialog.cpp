#include "ui/certificate_picker_dialog.h"

#include <QColor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

#include "feedback/date_text.h"
#include "recipients/recipient_list.h"
#include "ui/certificate_caution.h"
#include "ui/translation.h"

namespace mirebolt::ui {

namespace {

QString DateText(const platform::CalendarDate& date) {
    return QString::fromStdString(feedback::ShortDateText(date, QLocale::system()));
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

constexpr int kCautionColumn = 5;

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

    auto* table = new QTreeWidget(&dialog);
    table->setObjectName(QStringLiteral("storeCertificates"));
    prompt->setBuddy(table);
    table->setAccessibleName(Texts::tr("Certificates"));
    table->setAccessibleDescription(prompt->text());
    table->setHeaderLabels({Texts::tr("Issued To"), Texts::tr("Issued By"),
                            Texts::tr("Expiration Date"), Texts::tr("Private Key"),
                            Texts::tr("Key Type"), Texts::tr("Note")});
    table->setRootIsDecorated(false);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    const QColor greyed = dialog.palette().color(QPalette::Disabled, QPalette::Text);
    QTreeWidgetItem* likeliest = nullptr;
    for (const platform::StoreCertificate& entry : listed) {
        auto* item = new QTreeWidgetItem(table);
        item->setText(0, Text(platform::SubjectDisplayName(entry.certificate)));
        item->setText(1, Text(platform::IssuerDisplayName(entry.certificate)));
        item->setText(2, Text(recipients::ExpiryText(entry.certificate, QLocale::system())));
        item->setText(3, OwnKeyText(entry));
        item->setText(4, Text(platform::KeyDescription(entry.certificate)));
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
    table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(table);

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
    layout->addWidget(details);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(table, &QTreeWidget::itemSelectionChanged, &dialog, [&] {
        const int row = table->currentIndex().row();
        const bool chosen = !table->selectedItems().isEmpty() && row >= 0;
        buttons->button(QDialogButtonBox::Ok)->setEnabled(chosen);
        details->setPlainText(
            chosen ? CertificateDetails(listed[static_cast<std::size_t>(row)].certificate)
                   : QString());
    });
    QObject::connect(table, &QTreeWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    dialog.resize(640, 420);
    // The user's own certificates come first: the first of them fit for encryption is the
    // likeliest choice.
    table->setFocus();
    if (likeliest != nullptr) {
        table->setCurrentItem(likeliest);
    }

    if (dialog.exec() != QDialog::Accepted || table->selectedItems().isEmpty()) {
        return std::nullopt;
    }
    const int row = table->indexOfTopLevelItem(table->selectedItems().front());
    if (row < 0 || static_cast<std::size_t>(row) >= listed.size()) {
        return std::nullopt;
    }
    return std::move(listed[static_cast<std::size_t>(row)].certificate);
}

}  // namespace mirebolt::ui
