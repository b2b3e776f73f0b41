#pragma once

#include <QDialog>

#include <string>

#include "ui/recipient_model.h"
#include "ui/routing_table.h"
#include "ui/window_ports.h"

class QCheckBox;
class QCommandLinkButton;
class QLabel;
class QPushButton;
class QTreeView;

namespace mirebolt::ui {

class PathEdit;

// The main window: the path box, the legacy-cipher check box, the recipient list and the
// command buttons. Every action, whether a click, a key or an external command, passes through
// one routing table to its handler; the dialog ends with 1 (OK) or 2 (Cancel).
class CMainDlg : public QDialog {
    Q_OBJECT

  public:
    CMainDlg(WindowPorts ports, std::string storeDirectory, QWidget* parent = nullptr);

    // Feeds the routing table; true when a row handled the message.
    bool Dispatch(const Message& message);

    const recipients::RecipientList& recipientList() const { return m_recipients->list(); }

  public slots:
    void accept() override;
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void BuildControls();
    RoutingTable MakeRoutingTable();

    void OnInitDialog();
    void OnOK();
    void OnCancel();
    void OnBrowse();
    void OnAddRecipient();
    void OnRemoveRecipient();
    void OnEncrypt();
    void OnDecrypt();
    void OnAbout();
    void OnSiteLinkClick();

    std::string Path() const;

    WindowPorts m_ports;
    std::string m_storeDirectory;
    RoutingTable m_routes;
    RecipientModel* m_recipients = nullptr;
    PathEdit* m_fileEdit = nullptr;
    QPushButton* m_browseButton = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_removeButton = nullptr;
    QLabel* m_siteLink = nullptr;
    QCommandLinkButton* m_encryptButton = nullptr;
    QCommandLinkButton* m_decryptButton = nullptr;
    QTreeView* m_recipientView = nullptr;
    QCheckBox* m_legacyCipher = nullptr;
};

}  // namespace mirebolt::ui
