#include "ui/recipient_model.h"

#include <QGuiApplication>
#include <QPalette>

#include "ui/certificate_caution.h"
#include "ui/translation.h"

namespace mirebolt::ui {

namespace {

const char* const kTitles[] = {QT_TRANSLATE_NOOP("Mirebolt", "Issued To"),
                               QT_TRANSLATE_NOOP("Mirebolt", "Issued By"),
                               QT_TRANSLATE_NOOP("Mirebolt", "Expiration Data")};
constexpr int kExpiryColumn = 2;

}  // namespace

bool RecipientModel::AddRecipient(const platform::Certificate& certificate,
                                  const platform::CertificateStatus& status) {
    if (list_.Contains(certificate)) {
        return false;
    }
    const int row = list_.RecipientCount();
    beginInsertRows(QModelIndex(), row, row);
    const bool added = list_.AddRecipient(certificate, status);
    endInsertRows();
    return added;
}

void RecipientModel::RemoveRecipient(int row) {
    if (row < 0 || row >= list_.RecipientCount()) {
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    list_.RemoveRecipient(row);
    endRemoveRows();
}

void RecipientModel::ReleaseRecipients() {
    beginResetModel();
    list_.ReleaseRecipients();
    endResetModel();
}

int RecipientModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.RecipientCount();
}

int RecipientModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant RecipientModel::data(const QModelIndex& index, int role) const {
    const recipients::RecipientRow* row = list_.Row(index.row());
    if (row == nullptr) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        const std::string& text = index.column() == 0   ? row->issuedTo
                                  : index.column() == 1 ? row->issuedBy
                                                        : row->expires;
        return QString::fromStdString(text);
    }
    if (role == Qt::DecorationRole && index.column() == 0) {
        return rowIcon_;
    }
    if (row->status.fine()) {
        return {};
    }
    switch (role) {
        case Qt::DecorationRole:
            return index.column() == kExpiryColumn ? QVariant(cautionIcon_) : QVariant();
        case Qt::ForegroundRole:
            return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
        case Qt::ToolTipRole:
            return CautionDetails(row->status, row->certificate);
        default:
            return {};
    }
}

QVariant RecipientModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 3) {
        return Texts::tr(kTitles[section]);
    }
    return {};
}

}  // namespace mirebolt::ui
