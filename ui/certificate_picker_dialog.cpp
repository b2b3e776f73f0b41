#include "ui/certificate_picker_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "feedback/date_text.h"
#include "recipients/recipient_list.h"

namespace mirebolt::ui {

namespace {

QString DateText(const platform::CalendarDate& date) {
    return QString::fromStdString(feedback::ShortDateText(date, QLocale::system()));
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

QString CertificateDetails(const platform::Certificate& certificate) {
    const std::string usage = platform::KeyUsageText(certificate);
    return QStringLiteral(
               "Subject:\t%1\nIssuer:\t%2\nSerial number:\t%3\nValid from:\t%4 to %5 (UTC)\n"
               "Key usage:\t%6\nSHA-256:\t%7")
        .arg(Text(platform::SubjectText(certificate)), Text(platform::IssuerText(certificate)),
             Text(platform::SerialNumberText(certificate)),
             DateText(platform::NotBeforeDate(certificate)),
             DateText(platform::NotAfterDate(certificate)),
             usage.empty() ? QStringLiteral("any") : Text(usage),
             Text(platform::Sha256Fingerprint(certificate)));
}

std::optional<platform::Certificate> CertificatePickerDialog::Pick(
    const platform::PersonalStore& store, const std::string& displayString) {
    std::vector<platform::StoreCertificate> listed = store.PickerCertificates();

    QDialog dialog(owner_.widget);
    dialog.setWindowTitle(QStringLiteral("Select Certificate"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(Text(displayString), &dialog));

    auto* table = new QTreeWidget(&dialog);
    table->setObjectName(QStringLiteral("storeCertificates"));
    table->setHeaderLabels({QStringLiteral("Issued To"), QStringLiteral("Issued By"),
                            QStringLiteral("Expiration Date"), QStringLiteral("Private Key")});
    table->setRootIsDecorated(false);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const platform::StoreCertificate& entry : listed) {
        auto* item = new QTreeWidgetItem(table);
        item->setText(0, Text(platform::SubjectDisplayName(entry.certificate)));
        item->setText(1, Text(platform::IssuerDisplayName(entry.certificate)));
        item->setText(2, Text(recipients::ExpiryText(entry.certificate, QLocale::system())));
        item->setText(3, entry.ownKey ? QStringLiteral("Yours") : QString());
        if (entry.ownKey) {
            QFont bold = item->font(0);
            bold.setBold(true);
            item->setFont(0, bold);
            item->setToolTip(0, QStringLiteral("You hold the private key of this certificate"));
        }
    }
    table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(table);

    auto* details = new QPlainTextEdit(&dialog);
    details->setObjectName(QStringLiteral("certificateDetails"));
    details->setReadOnly(true);
    details->setPlaceholderText(QStringLiteral("Select a certificate to see its details."));
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
    // The user's own certificate, listed first, is the likeliest choice.
    table->setFocus();
    if (table->topLevelItemCount() > 0) {
        table->setCurrentItem(table->topLevelItem(0));
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
