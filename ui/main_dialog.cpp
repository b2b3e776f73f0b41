#include "ui/main_dialog.h"

#include <algorithm>
#include <functional>

#include <QCheckBox>
#include <QCommandLinkButton>
#include <QCursor>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "protection/decrypt_command.h"
#include "protection/encrypt_command.h"
#include "recipients/add_recipients.h"
#include "ui/about_box.h"
#include "ui/accessible_link.h"
#include "ui/centring.h"
#include "ui/column_widths.h"
#include "ui/control_ids.h"
#include "ui/dialog_units.h"
#include "ui/focus_mark.h"
#include "ui/icons.h"
#include "ui/path_edit.h"
#include "ui/product.h"
#include "ui/recipient_view.h"
#include "ui/resources.h"
#include "ui/translation.h"

namespace mirebolt::ui {

namespace {

// Names the control, for tests and accessibility, and puts it in its place.
template <class Widget>
Widget* NameAndPosition(Widget* widget, const char* name, const QRect& place) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(place);
    return widget;
}

template <class Button>
Button* MakeButton(QWidget* parent, const QString& text, const char* name, const QRect& place,
                   std::function<void()> onClick) {
    auto* button = NameAndPosition(new Button(text, parent), name, place);
    // No button is the default: Enter acts on the focused control instead.
    button->setAutoDefault(false);
    button->setDefault(false);
    QObject::connect(button, &QAbstractButton::clicked, parent, std::move(onClick));
    return button;
}

}  // namespace

CMainDlg::CMainDlg(WindowPorts ports, std::string storeDirectory, QWidget* parent)
    : QDialog(parent),
      m_ports(ports),
      m_storeDirectory(std::move(storeDirectory)),
      m_routes(MakeRoutingTable()) {
    EnsureResources();
    InstallAccessibleLinks();
    setWindowTitle(QStringLiteral("%1 %2").arg(kProductName, kMakerCredit));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    BuildControls();
    Dispatch(Message{MessageKind::InitDialog});
}

RoutingTable CMainDlg::MakeRoutingTable() {
    using Row = RoutingTable::Row;
    constexpr auto kCommand = MessageKind::Command;
    return RoutingTable({
        Row{MessageKind::InitDialog, 0, std::nullopt, [this] { OnInitDialog(); }},
        Row{kCommand, id::kAbout, std::nullopt, [this] { OnAbout(); }},
        Row{kCommand, id::kOk, std::nullopt, [this] { OnOK(); }},
        Row{kCommand, id::kCancel, std::nullopt, [this] { OnCancel(); }},
        Row{kCommand, id::kBrowse, 0, [this] { OnBrowse(); }},
        Row{kCommand, id::kAdd, 0, [this] { OnAddRecipient(); }},
        Row{kCommand, id::kDecryptCommand, 0, [this] { OnDecrypt(); }},
        Row{kCommand, id::kEncryptCommand, 0, [this] { OnEncrypt(); }},
        Row{kCommand, id::kRemove, 0, [this] { OnRemoveRecipient(); }},
        Row{kCommand, id::kEncrypt, 0, [this] { OnEncrypt(); }},
        Row{kCommand, id::kDecrypt, 0, [this] { OnDecrypt(); }},
        Row{kCommand, id::kLegacyCipher, 0, nullptr},  // the box ticks itself
        Row{MessageKind::Notify, id::kSiteLink, kLinkClicked, [this] { OnSiteLinkClick(); }},
    });
}

bool CMainDlg::Dispatch(const Message& message) {
    const RoutingTable::Row* row = m_routes.Match(message);
    if (row == nullptr) {
        return false;
    }
    if (row->action) {
        m_commands.Run(row->action);
    }
    return true;
}

void CMainDlg::BuildControls() {
    const DialogUnits units(font());
    auto command = [this](int identifier) {
        return [this, identifier] { Dispatch(Message{MessageKind::Command, identifier, 0}); };
    };

    // In the template's order, which is also the order of the tab stops. What a screen reader
    // says of a control is set beside it; it never changes what the window shows.
    auto* fileLabel = new QLabel(Texts::tr("File: "), this);
    // A translation longer than the template's room grows to the left, towards the margin, so
    // that the path box never covers it.
    QRect labelPlace = units.Rect(16, 10, 18, 8);
    const int labelWidth = fileLabel->sizeHint().width();
    if (labelWidth > labelPlace.width()) {
        labelPlace.setLeft(std::max(units.X(4), labelPlace.right() + 1 - labelWidth));
    }
    fileLabel->setGeometry(labelPlace);

    m_fileEdit = NameAndPosition(new PathEdit(this), "pathBox", units.Rect(34, 7, 250, 14));
    fileLabel->setBuddy(m_fileEdit);
    m_fileEdit->setAccessibleName(Texts::tr("File to encrypt or decrypt"));
    m_browseButton = MakeButton<QPushButton>(this, Texts::tr("Browser"), "browseButton",
                                             units.Rect(290, 7, 50, 14), command(id::kBrowse));
    m_browseButton->setAccessibleDescription(Texts::tr("Choose the file to encrypt or decrypt"));

    auto* group = new QGroupBox(Texts::tr("Recipients Certificates (for encryption only):"), this);
    group->setGeometry(units.Rect(10, 44, 334, 128));

    m_addButton = MakeButton<QPushButton>(this, QStringLiteral("+"), "addButton",
                                          units.Rect(326, 96, 14, 14), command(id::kAdd));
    m_addButton->setAccessibleName(Texts::tr("Add recipient"));
    m_addButton->setAccessibleDescription(
        Texts::tr("Add a certificate from a file or from your certificate store"));
    m_removeButton = MakeButton<QPushButton>(this, QStringLiteral("-"), "removeButton",
                                             units.Rect(326, 115, 14, 14), command(id::kRemove));
    m_removeButton->setAccessibleName(Texts::tr("Remove recipient"));
    m_removeButton->setAccessibleDescription(
        Texts::tr("Remove the selected certificate from the list"));

    m_siteLink = NameAndPosition(
        new FocusMarkedLink(QString::fromUtf8(kSiteUrl), QString::fromUtf8(kSiteAddress), this),
        "siteLink", units.Rect(283, 207, 67, 11));
    m_siteLink->setAccessibleDescription(Texts::tr("Open the maker's web site"));
    // Acted on when clicked only, never on Enter.
    m_siteLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    m_siteLink->setOpenExternalLinks(false);
    m_siteLink->setFocusPolicy(Qt::TabFocus);
    connect(m_siteLink, &QLabel::linkActivated, this, [this] {
        Dispatch(Message{MessageKind::Notify, id::kSiteLink, kLinkClicked});
    });

    m_encryptButton = MakeButton<CommandLink>(this, Texts::tr("Encrypt"), "encryptButton",
                                              units.Rect(76, 176, 90, 25), command(id::kEncrypt));
    m_encryptButton->setAccessibleDescription(
        Texts::tr("Encrypt the file for every recipient on the list"));
    m_decryptButton = MakeButton<CommandLink>(this, Texts::tr("Decrypt"), "decryptButton",
                                              units.Rect(190, 176, 90, 25), command(id::kDecrypt));
    m_decryptButton->setAccessibleDescription(Texts::tr("Decrypt the file with a key of your own"));

    m_recipients =
        new RecipientModel(RowIcon(), style()->standardIcon(QStyle::SP_MessageBoxWarning), this);
    m_recipientView =
        NameAndPosition(new RecipientView(this), "recipientView", units.Rect(15, 54, 308, 114));
    m_recipientView->setModel(m_recipients);
    m_recipientView->setAccessibleName(Texts::tr("Recipients"));
    m_recipientView->setAccessibleDescription(
        Texts::tr("The certificates a file is encrypted for"));

    m_legacyCipher = NameAndPosition(
        new QCheckBox(Texts::tr("Use legacy Triple DES algorithm for encryption instead of AES"),
                      this),
        "legacyCipher", units.Rect(34, 26, 301, 10));
    connect(m_legacyCipher, &QCheckBox::clicked, this, command(id::kLegacyCipher));

    setFixedSize(units.X(351), units.Y(219));
}

void CMainDlg::TakeHandedFile(const QString& path) {
    m_fileEdit->setText(path);
}

void CMainDlg::OnInitDialog() {
    CentreFrame();
    setWindowIcon(ApplicationIcon());

    const ColumnWidths widths = RecipientColumnWidths(m_recipientView->width());
    m_recipientView->header()->resizeSection(0, widths.issuedTo);
    m_recipientView->header()->resizeSection(1, widths.issuedBy);
    m_recipientView->header()->resizeSection(2, widths.expires);

    m_fileEdit->setFocus();
}

void CMainDlg::CentreFrame() {
    // At start there is no owner: the window goes to the middle of the work area of the screen
    // that holds the origin. What the person sees is the outer frame, and move() places it.
    QScreen* screen = QGuiApplication::screenAt(QPoint(0, 0));
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen != nullptr) {
        move(CentredPosition(frameGeometry().size(), screen->availableGeometry()));
    }
}

void CMainDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    // The window manager adds the frame only once the window is shown, and moves it then: the
    // first time the frame's size is known, the frame is centred again.
    if (!m_frameCentred && isVisible() && frameGeometry().size() != size()) {
        m_frameCentred = true;
        CentreFrame();
    }
}

void CMainDlg::accept() {
    Dispatch(Message{MessageKind::Command, id::kOk, 0});
}

void CMainDlg::reject() {
    Dispatch(Message{MessageKind::Command, id::kCancel, 0});
}

void CMainDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QDialog::keyPressEvent(event);
        return;
    }
    QWidget* focused = focusWidget();
    if (focused == m_siteLink) {
        return;  // the link acts on clicks only
    }
    auto* button = qobject_cast<QPushButton*>(focused);
    if (button != nullptr) {
        button->click();
        return;
    }
    // The path box, the list and the check box: with no default button, Enter means OK.
    Dispatch(Message{MessageKind::Command, id::kOk, 0});
}

void CMainDlg::OnOK() {
    m_commands.Close();
    done(1);
}

void CMainDlg::OnCancel() {
    m_commands.Close();
    m_recipients->ReleaseRecipients();
    done(2);
}

std::string CMainDlg::Path() const {
    return QFile::encodeName(m_fileEdit->text()).toStdString();
}

void CMainDlg::OnBrowse() {
    if (std::optional<QString> path = m_ports.files.ChooseAnyFile()) {
        m_fileEdit->setText(*path);
    }
}

void CMainDlg::OnAddRecipient() {
    switch (m_ports.actionMenu.Choose(QCursor::pos())) {
        case id::kAddFromFile:
            if (std::optional<QString> file = m_ports.files.ChooseCertificateFile()) {
                recipients::AddRecipientsFromFile(
                    *m_recipients, QFile::encodeName(*file).toStdString(), m_ports.feedback,
                    m_ports.busy, recipients::RecipientChecks{m_storeDirectory, {}});
            }
            break;
        case id::kAddFromStore:
            recipients::AddRecipientFromStore(*m_recipients, m_storeDirectory, m_ports.picker,
                                              m_ports.feedback, m_ports.busy);
            break;
        default:
            break;
    }
}

void CMainDlg::OnRemoveRecipient() {
    const std::optional<int> selected = m_recipientView->SelectedRow();
    if (!selected) {
        m_ports.feedback.ShowWarning("No certificate selected on the list");
        return;
    }
    m_recipients->RemoveRecipient(*selected);
    m_recipientView->ForgetSelection();
}

void CMainDlg::OnEncrypt() {
    const protection::EncryptRequest request{Path(), m_recipients->list(),
                                             [this] { return m_legacyCipher->isChecked(); }};
    protection::Encrypt(request, m_ports.feedback, m_ports.busy);
}

void CMainDlg::OnDecrypt() {
    const protection::DecryptRequest request{Path(), m_storeDirectory, std::nullopt};
    protection::Decrypt(request, protection::DecryptPorts{m_ports.feedback, m_ports.busy,
                                                          m_ports.saveQuestion, m_ports.keyPrompt});
}

void CMainDlg::OnAbout() {
    AboutBox box(this);
    box.move(mapToGlobal(QPoint(0, 0)));
    box.exec();
}

void CMainDlg::OnSiteLinkClick() {
    m_ports.urls.Open(QUrl(QString::fromUtf8(kSiteUrl)));
}

}  // namespace mirebolt::ui
