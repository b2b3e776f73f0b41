#pragma once

#include <QAbstractTableModel>
#include <QIcon>

#include "recipients/recipient_list.h"

namespace mirebolt::ui {

// The recipient list as the view shows it: three columns, the row icon, no sorting, nothing
// editable. A row whose certificate the check found fault with is greyed, carries the caution
// mark beside its expiry date and says why in its tooltip. Every change of the list goes
// through here, so the view hears of it.
class RecipientModel : public QAbstractTableModel, public recipients::RecipientTarget {
    Q_OBJECT

  public:
    RecipientModel(QIcon rowIcon, QIcon cautionIcon, QObject* parent = nullptr)
        : QAbstractTableModel(parent),
          rowIcon_(std::move(rowIcon)),
          cautionIcon_(std::move(cautionIcon)) {}

    const recipients::RecipientList& list() const { return list_; }

    bool AddRecipient(const platform::Certificate& certificate,
                      const platform::CertificateStatus& status) override;
    void RemoveRecipient(int row);
    void ReleaseRecipients();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    recipients::RecipientList list_;
    QIcon rowIcon_;
    QIcon cautionIcon_;
};

}  // namespace mirebolt::ui
