#pragma once

#include <QDialog>

#include <string>

#include "ui/command_queue.h"
#include "ui/recipient_model.h"
#include "ui/routing_table.h"
#include "ui/window_ports.h"

class QCheckBox;
class QCommandLinkButton;
class QLabel;
class QPushButton;

namespace mirebolt::ui {

class PathEdit;
class RecipientView;

// The main window: the path box, the legacy-cipher check box, the recipient list and the
// command buttons. Every action, whether a click, a key or an external command, passes through
// one routing table to its handler; the dialog ends with 1 (OK) or 2 (Cancel).
class CMainDlg : public QDialog {
    Q_OBJECT

  public:
    CMainDlg(WindowPorts ports, std::string storeDirectory, QWidget* parent = nullptr);

    // Feeds the routing table; true when a row handles the message. A command that arrives while
    // another runs (inside its message boxes or dialogs) runs once that one has finished.
    bool Dispatch(const Message& message);

    // A file the desktop handed over at start (`mirebolt FILE`): it goes in the path box, as if
    // typed there.
    void TakeHandedFile(const QString& path);

    const recipients::RecipientList& recipientList() const { return m_recipients->list(); }

  public slots:
    void accept() override;
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

  private:
    void BuildControls();
    RoutingTable MakeRoutingTable();

    void CentreFrame();

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
    CommandQueue m_commands;
    bool m_frameCentred = false;
    RecipientModel* m_recipients = nullptr;
    PathEdit* m_fileEdit = nullptr;
    QPushButton* m_browseButton = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_removeButton = nullptr;
    QLabel* m_siteLink = nullptr;
    QCommandLinkButton* m_encryptButton = nullptr;
    QCommandLinkButton* m_decryptButton = nullptr;
    RecipientView* m_recipientView = nullptr;
    QCheckBox* m_legacyCipher = nullptr;
};

}  // namespace mirebolt::ui
