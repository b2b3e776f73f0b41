#pragma once

#include <QObject>

namespace mirebolt::ui {

class CMainDlg;

// Takes commands from other programs on the session bus and feeds them to the main dialog's
// routing table, like the commands of its own controls: 1007 decrypts, 1008 encrypts, 57664
// opens the About box. Each running copy answers under a name of its own that ends in its
// process number; without a session bus the program runs as usual.
class ExternalCommands : public QObject {
    Q_OBJECT

  public:
    explicit ExternalCommands(CMainDlg& dialog);

    // Offers the object on the session bus; false when there is no bus or the name is taken.
    bool Register();
    // The bus name, and the interface under which Command is offered.
    static QString ServiceName();
    static QString InterfaceName();

  public slots:
    // A command identifier and a notification code, as the window's own controls send them.
    Q_SCRIPTABLE void Command(uint identifier, uint code);

  private:
    CMainDlg& dialog_;
};

}  // namespace mirebolt::ui
