#include "ui/TfrmHostEdit.h"

#include "core/NameRules.h"
#include "core/PasswordRules.h"

#include "core/DatabaseError.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "engine/ChangePlan.h"
#include "engine/TfrmOperationSetting.h"
#include "ui/BallHint.h"
#include "ui/DrawnIcons.h"
#include "ui/EditorIcons.h"
#include "ui/EditorLayout.h"
#include "ui/LoginTest.h"
#include "ui/LoginTestBalloon.h"
#include "ui/PasswordField.h"
#include "ui/TfrmKeyBoard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include <initializer_list>
#include <memory>

namespace {

constexpr int kBalloonMs = 1000;
constexpr int kLabelX = 14;
constexpr int kFieldX = 214;
// Fields beside which a button sits are narrower than the address, so the button fits in the panel.
constexpr int kShortField = 134;
constexpr int kButtonX = kFieldX + kShortField + 4;
constexpr int kRowPitch = 28;
constexpr int kFirstRow = 18;

int rowTop(int row)
{
    return kFirstRow + row * kRowPitch;
}

bool isEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

TfrmHostEdit::KeyFileChooser& keyFileChooser()
{
    static TfrmHostEdit::KeyFileChooser chooser;
    return chooser;
}

QString chooseKeyFileInDialog(QWidget* parent, const QString& current)
{
    const QString start = current.isEmpty() ? QDir::home().filePath(QStringLiteral(".ssh")) : current;
    QFileDialog dialog(parent, QStringLiteral("Private Key of the Manager Account"), start);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Keys usually sit in the hidden ~/.ssh folder.
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    if (TfrmBase::ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

} // namespace

void TfrmHostEdit::SetKeyFileChooser(KeyFileChooser chooser)
{
    keyFileChooser() = std::move(chooser);
}

TfrmHostEdit::TfrmHostEdit(TdmPublic& dm, QWidget* parent) : TfrmBase(parent), m_dm(dm)
{
    using namespace EditorLayout;
    setObjectName(QStringLiteral("frmHostEdit"));
    SetClientSize(ClientWidth, ClientHeight);

    HeaderTab = AddHeaderTab(this, QStringLiteral("    Host Information"), QRect(8, 8, 150, 22));
    FieldPanel = AddFieldPanel(this, QRect(8, 30, ClientWidth - 16, rowTop(10) + 82));

    edtName = new QLineEdit(FieldPanel);
    edtName->setObjectName(QStringLiteral("edtName"));
    edtName->setGeometry(kFieldX, rowTop(0), 189, 21);
    // Shown in the main window's status pane only, never as a tooltip.
    edtName->setStatusTip(QStringLiteral("Host Address"));
    AddFieldLabel(FieldPanel, QStringLiteral("&Host Address:"), edtName, kLabelX, rowTop(0) + 3, true);

    edtPort = new QLineEdit(FieldPanel);
    edtPort->setObjectName(QStringLiteral("edtPort"));
    edtPort->setGeometry(kFieldX, rowTop(1), 99, 21);
    edtPort->setMaxLength(5);
    edtPort->installEventFilter(this);
    AddFieldLabel(FieldPanel, QStringLiteral("&Port:"), edtPort, kLabelX, rowTop(1) + 3, true);

    cbbOS = new QComboBox(FieldPanel);
    cbbOS->setObjectName(QStringLiteral("cbbOS"));
    cbbOS->setGeometry(kFieldX, rowTop(2), kShortField, 22);
    cbbOS->setMaxVisibleItems(15);
    AddFieldLabel(FieldPanel, QStringLiteral("&Operating System:"), cbbOS, kLabelX, rowTop(2) + 3, true);
    sbSetting = AddFlatButton(FieldPanel, QStringLiteral("D&etailed Setting..."), QIcon(), QString(),
                              QRect(kButtonX, rowTop(2) - 1, 104, 24));
    sbSetting->setObjectName(QStringLiteral("sbSetting"));

    cbbLoginAs = new QComboBox(FieldPanel);
    cbbLoginAs->setObjectName(QStringLiteral("cbbLoginAs"));
    cbbLoginAs->setGeometry(kFieldX, rowTop(3), kShortField, 22);
    AddFieldLabel(FieldPanel, QStringLiteral("Login  &When Changing Password :"), cbbLoginAs, kLabelX, rowTop(3) + 3,
                  true);
    cbbElevation = new QComboBox(FieldPanel);
    cbbElevation->setObjectName(QStringLiteral("cbbElevation"));
    cbbElevation->setGeometry(kButtonX, rowTop(3), 100, 22);
    // It has no label of its own: screen readers get its name from here.
    cbbElevation->setAccessibleName(QStringLiteral("Elevation of the manager account"));
    cbbElevation->setToolTip(QStringLiteral("How the manager account becomes root to run passwd: it is root "
                                            "already (none), sudo, or su with the root password"));
    for (const TElevation elevation : {TElevation::None, TElevation::Sudo, TElevation::Su})
        cbbElevation->addItem(ElevationName(elevation), ElevationValue(elevation));

    edtMngLogin = new QLineEdit(FieldPanel);
    edtMngLogin->setObjectName(QStringLiteral("edtMngLogin"));
    edtMngLogin->setGeometry(kFieldX, rowTop(4), kShortField, 21);
    AddFieldLabel(FieldPanel, QStringLiteral("Manager &Login:"), edtMngLogin, kLabelX, rowTop(4) + 3, false);
    sbTest = AddFlatButton(FieldPanel, QStringLiteral("&Test Login "), TestLoginIcon(), QString(),
                           QRect(kButtonX, rowTop(4) - 2, 100, 25));
    sbTest->setObjectName(QStringLiteral("sbTest"));

    edtMngPwd = new QLineEdit(FieldPanel);
    edtMngPwd->setObjectName(QStringLiteral("edtMngPwd"));
    edtMngPwd->setGeometry(kFieldX, rowTop(5), kShortField, 21);
    MakePasswordField(*edtMngPwd);
    AddFieldLabel(FieldPanel, QStringLiteral("Manager &Password:"), edtMngPwd, kLabelX, rowTop(5) + 3, false);
    sbKeybrd = AddFlatButton(FieldPanel, QString(), KeyboardButtonIcon(), QStringLiteral("Show virtual keyboard"),
                             QRect(kButtonX, rowTop(5) - 1, 24, 23));
    sbKeybrd->setObjectName(QStringLiteral("sbKeybrd"));
    SpeedButton3 = AddFlatButton(FieldPanel, QString(), ShowPasswordIcon(), QStringLiteral("Show password "),
                                 QRect(kButtonX + 26, rowTop(5) - 1, 24, 23));
    SpeedButton3->setObjectName(QStringLiteral("SpeedButton3"));

    edtMngKey = new QLineEdit(FieldPanel);
    edtMngKey->setObjectName(QStringLiteral("edtMngKey"));
    edtMngKey->setGeometry(kFieldX, rowTop(6), kShortField, 21);
    edtMngKey->setToolTip(QStringLiteral("Private key file of the manager account; empty: the password (the keys "
                                         "of a running ssh-agent only when there is no password either)"));
    AddFieldLabel(FieldPanel, QStringLiteral("Manager &Key File:"), edtMngKey, kLabelX, rowTop(6) + 3, false);
    sbMngKey = AddFlatButton(FieldPanel, QStringLiteral("..."), QIcon(), QStringLiteral("Choose the key file"),
                             QRect(kButtonX, rowTop(6) - 1, 24, 23));
    sbMngKey->setObjectName(QStringLiteral("sbMngKey"));

    edtMngKeyPass = new QLineEdit(FieldPanel);
    edtMngKeyPass->setObjectName(QStringLiteral("edtMngKeyPass"));
    edtMngKeyPass->setGeometry(kFieldX, rowTop(7), kShortField, 21);
    MakePasswordField(*edtMngKeyPass);
    AddFieldLabel(FieldPanel, QStringLiteral("Key P&assphrase:"), edtMngKeyPass, kLabelX, rowTop(7) + 3, false);
    sbKeyPassKeybrd = AddFlatButton(FieldPanel, QString(), KeyboardButtonIcon(),
                                    QStringLiteral("Show virtual keyboard"), QRect(kButtonX, rowTop(7) - 1, 24, 23));
    sbKeyPassKeybrd->setObjectName(QStringLiteral("sbKeyPassKeybrd"));
    sbShowKeyPass = AddFlatButton(FieldPanel, QString(), ShowPasswordIcon(), QStringLiteral("Show password "),
                                  QRect(kButtonX + 26, rowTop(7) - 1, 24, 23));
    sbShowKeyPass->setObjectName(QStringLiteral("sbShowKeyPass"));

    edtRootPwd = new QLineEdit(FieldPanel);
    edtRootPwd->setObjectName(QStringLiteral("edtRootPwd"));
    edtRootPwd->setGeometry(kFieldX, rowTop(8), kShortField, 21);
    MakePasswordField(*edtRootPwd);
    lbRootPwd =
        AddFieldLabel(FieldPanel, QStringLiteral("&Root Password (su):"), edtRootPwd, kLabelX, rowTop(8) + 3, false);
    sbRootKeybrd = AddFlatButton(FieldPanel, QString(), KeyboardButtonIcon(), QStringLiteral("Show virtual keyboard"),
                                 QRect(kButtonX, rowTop(8) - 1, 24, 23));
    sbRootKeybrd->setObjectName(QStringLiteral("sbRootKeybrd"));
    sbShowRootPwd = AddFlatButton(FieldPanel, QString(), ShowPasswordIcon(), QStringLiteral("Show password "),
                                  QRect(kButtonX + 26, rowTop(8) - 1, 24, 23));
    sbShowRootPwd->setObjectName(QStringLiteral("sbShowRootPwd"));

    chkUseAgent = new QCheckBox(QStringLiteral("Also try the ssh-agent's keys"), FieldPanel);
    chkUseAgent->setObjectName(QStringLiteral("chkUseAgent"));
    chkUseAgent->setGeometry(kLabelX, rowTop(9), 196, 21);
    chkUseAgent->setToolTip(QStringLiteral("The manager's login also offers the keys of a running ssh-agent; without "
                                           "it the agent is asked only when there is neither a password nor a key "
                                           "file"));
    chkLegacyAlgorithms = new QCheckBox(QStringLiteral("Allow SHA-1 algorithms (old systems)"), FieldPanel);
    chkLegacyAlgorithms->setObjectName(QStringLiteral("chkLegacyAlgorithms"));
    chkLegacyAlgorithms->setGeometry(kFieldX, rowTop(9), 230, 21);
    chkLegacyAlgorithms->setToolTip(QStringLiteral("Offer ssh-rsa host keys and signatures, the SHA-1 key exchanges "
                                                   "and hmac-sha1 to this host, for systems that know nothing newer"));

    edtNote = new QPlainTextEdit(FieldPanel);
    edtNote->setObjectName(QStringLiteral("edtNote"));
    edtNote->setGeometry(kLabelX, rowTop(10) + 22, 419, 50);
    edtNote->setTabChangesFocus(true);
    edtNote->installEventFilter(this);
    AddFieldLabel(FieldPanel, QStringLiteral("&Description:"), edtNote, kLabelX, rowTop(10) + 3, false);

    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(ClientWidth - 8 - 80, ClientHeight - 40, 80, 27);
    btnSave = new QPushButton(QStringLiteral("&OK"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setGeometry(ClientWidth - 8 - 170, ClientHeight - 40, 80, 27);
    btnSave->setDefault(true);

    setTabOrder(edtName, edtPort);
    setTabOrder(edtPort, cbbOS);
    setTabOrder(cbbOS, cbbLoginAs);
    setTabOrder(cbbLoginAs, cbbElevation);
    setTabOrder(cbbElevation, edtMngLogin);
    setTabOrder(edtMngLogin, edtMngPwd);
    setTabOrder(edtMngPwd, edtMngKey);
    setTabOrder(edtMngKey, edtMngKeyPass);
    setTabOrder(edtMngKeyPass, edtRootPwd);
    setTabOrder(edtRootPwd, chkUseAgent);
    setTabOrder(chkUseAgent, chkLegacyAlgorithms);
    setTabOrder(chkLegacyAlgorithms, edtNote);
    setTabOrder(edtNote, btnSave);
    setTabOrder(btnSave, btnCancel);

    connect(cbbOS, &QComboBox::activated, this, [this] { cbbOSChange(); });
    connect(cbbLoginAs, &QComboBox::activated, this, [this] { cbbOSChange(); });
    connect(sbSetting, &QToolButton::clicked, this, [this] { sbSettingClick(); });
    connect(sbTest, &QToolButton::clicked, this, [this] { sbTestClick(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    connect(sbKeybrd, &QToolButton::clicked, this, [this] { sbKeybrdClick(); });
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(cbbElevation, &QComboBox::currentIndexChanged, this, [this] { cbbElevationChange(); });
    connect(edtMngKey, &QLineEdit::textChanged, this, [this] { edtMngKeyChange(); });
    connect(sbMngKey, &QToolButton::clicked, this, [this] { sbMngKeyClick(); });
    const auto toggleMask = [](QLineEdit* field) {
        field->setEchoMode(field->echoMode() == QLineEdit::Password ? QLineEdit::Normal : QLineEdit::Password);
    };
    connect(sbShowKeyPass, &QToolButton::clicked, this, [this, toggleMask] { toggleMask(edtMngKeyPass); });
    connect(sbShowRootPwd, &QToolButton::clicked, this, [this, toggleMask] { toggleMask(edtRootPwd); });
    connect(sbKeyPassKeybrd, &QToolButton::clicked, this, [this] { ShowKeyboard(edtMngKeyPass); });
    connect(sbRootKeybrd, &QToolButton::clicked, this, [this] { ShowKeyboard(edtRootPwd); });
    cbbElevationChange();
    edtMngKeyChange();
}

void TfrmHostEdit::LoadOSList(int osid)
{
    auto query = m_dm.NewQuery();
    query->SelectSQL = QStringLiteral("select * from unixos ");
    m_dm.OpenQuery(*query);
    cbbOS->clear();
    if (query->Active()) {
        for (; !query->Eof(); query->Next())
            cbbOS->addItem(query->FieldByName(QStringLiteral("OSName")).AsString(),
                           query->FieldByName(QStringLiteral("OSID")).AsString());
    }
    cbbOS->addItem(OtherOSName, QStringLiteral("-1"));
    cbbOS->setCurrentIndex(cbbOS->findData(QString::number(osid)));
    // Keep the settings button in step with what the list now shows, e.g. after a profile was deleted.
    cbbOSChange();
}

void TfrmHostEdit::ShowHost(const THost& host)
{
    cbbLoginAs->clear();
    cbbLoginAs->addItem(QStringLiteral("Manager Account"), ManagerAccountValue);
    cbbLoginAs->addItem(QStringLiteral("User's Account"), UsersAccountValue);
    LoadOSList(host.OSID);
    edtName->setText(host.hAddress);
    edtPort->setText(QString::number(host.hPort));
    edtNote->setPlainText(host.hNote);
    edtMngLogin->setText(host.MngLogin);
    edtMngPwd->setText(DecipherPassword(host.MngPwd));
    cbbLoginAs->setCurrentIndex(cbbLoginAs->findData(QString::number(host.UseManager)));
    cbbElevation->setCurrentIndex(cbbElevation->findData(ElevationValue(host.MngElevation)));
    edtRootPwd->setText(DecipherPassword(host.MngRootPwd));
    edtMngKey->setText(host.MngKeyPath);
    edtMngKeyPass->setText(DecipherPassword(host.MngKeyPass));
    chkUseAgent->setChecked(host.MngUseAgent);
    chkLegacyAlgorithms->setChecked(host.hLegacyAlgorithms);
    cbbElevationChange();
    edtMngKeyChange();
}

void TfrmHostEdit::ReadHost(THost& host) const
{
    host.hAddress = BareHostAddress(edtName->text());
    bool isNumber = false;
    const int port = edtPort->text().toInt(&isNumber);
    host.hPort = isNumber ? port : 22;
    host.hNote = edtNote->toPlainText();
    host.OSID = ChosenOSID();
    host.MngLogin = edtMngLogin->text();
    host.MngPwd = EncipherPassword(edtMngPwd->text());
    bool chosen = false;
    const int useManager = cbbLoginAs->currentData().toString().toInt(&chosen);
    host.UseManager = cbbLoginAs->currentIndex() >= 0 && chosen ? useManager : 1;
    host.MngElevation = ChosenElevation();
    // A secret the host does not need is not kept.
    host.MngRootPwd = host.MngElevation == TElevation::Su ? EncipherPassword(edtRootPwd->text()) : QString();
    host.MngKeyPath = edtMngKey->text().trimmed();
    host.MngKeyPass = host.MngKeyPath.isEmpty() ? QString() : EncipherPassword(edtMngKeyPass->text());
    host.MngUseAgent = chkUseAgent->isChecked();
    host.hLegacyAlgorithms = chkLegacyAlgorithms->isChecked();
}

TElevation TfrmHostEdit::ChosenElevation() const
{
    return cbbElevation->currentIndex() < 0 ? TElevation::None
                                            : ElevationFromValue(cbbElevation->currentData().toInt());
}

int TfrmHostEdit::ChosenOSID() const
{
    if (cbbOS->currentIndex() < 0)
        return -1;
    bool isNumber = false;
    const int osid = cbbOS->currentData().toString().toInt(&isNumber);
    return isNumber ? osid : -1;
}

bool TfrmHostEdit::ValidateHost()
{
    const auto refuse = [](QWidget* field, const QString& message) {
        Ui().showBalloonTip(field, message, BalloonIcon::Info, kBalloonMs);
        return false;
    };
    if (edtName->text().isEmpty())
        return refuse(edtName, QStringLiteral("Please input [hot address] "));
    if (const QString problem = HostAddressProblem(edtName->text(), QStringLiteral("The host address"));
        !problem.isEmpty())
        return refuse(edtName, problem);
    // Text pasted into the port bypasses the key filter; anything but a number reads as 0 and is refused.
    const int port = edtPort->text().toInt();
    if (port < 1 || port > 65535)
        return refuse(edtPort, QStringLiteral("The port scope is form 1 to 65535. "));
    const bool asManager =
        cbbLoginAs->currentIndex() >= 0 && cbbLoginAs->currentData().toString() == ManagerAccountValue;
    if (asManager && edtMngLogin->text().isEmpty())
        return refuse(edtMngLogin, QStringLiteral("Please input [Manager Login] "));
    // With the user's account chosen the login may stay empty, but one that is typed is used by Test Login.
    if (!edtMngLogin->text().isEmpty()) {
        if (const QString problem = LoginNameProblem(edtMngLogin->text(), QStringLiteral("The manager login"));
            !problem.isEmpty())
            return refuse(edtMngLogin, problem);
    }
    // A key that can be read logs in without the password (sudo without a password needs none either).
    const QFileInfo key(edtMngKey->text().trimmed());
    const bool keyReadable = !edtMngKey->text().trimmed().isEmpty() && key.isFile() && key.isReadable();
    if (asManager && edtMngPwd->text().isEmpty() && !keyReadable)
        return refuse(edtMngPwd, QStringLiteral("Please input [Manager Password] "));
    if (const QString problem = PasswordProblem(edtMngPwd->text()); !problem.isEmpty())
        return refuse(edtMngPwd, problem);
    if (!edtMngKey->text().trimmed().isEmpty()) {
        if (const QString problem = PasswordProblem(edtMngKeyPass->text()); !problem.isEmpty())
            return refuse(edtMngKeyPass, problem);
    }
    if (ChosenElevation() == TElevation::Su) {
        if (edtRootPwd->text().isEmpty())
            return refuse(edtRootPwd, QStringLiteral("Please input [Root Password] "));
        if (const QString problem = PasswordProblem(edtRootPwd->text()); !problem.isEmpty())
            return refuse(edtRootPwd, problem);
    }
    return true;
}

void TfrmHostEdit::FormShow()
{
    edtName->setFocus();
    edtName->selectAll();
}

bool TfrmHostEdit::PortKeyAllowed(int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    // Ctrl with a letter types a control character (Ctrl+V, Ctrl+C, ...), whatever text the platform reports.
    if (modifiers.testFlag(Qt::ControlModifier) && key >= Qt::Key_A && key <= Qt::Key_Z)
        return false;
    // Keys that type nothing (arrows, Delete, Home, ...) and the dialog's own keys are not typing.
    if (text.isEmpty() || key == Qt::Key_Delete || key == Qt::Key_Tab || key == Qt::Key_Backtab ||
        key == Qt::Key_Escape)
        return true;
    if (key == Qt::Key_Backspace || isEnterKey(key))
        return true;
    return text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9');
}

void TfrmHostEdit::cbbOSChange()
{
    sbSetting->setEnabled(!cbbOS->currentText().isEmpty());
}

void TfrmHostEdit::sbSettingClick()
{
    int osid = ChosenOSID();
    const QString name = cbbOS->currentText();
    try {
        if (EditOSProfile(this, m_dm, osid, name))
            LoadOSList(osid);
    } catch (const std::exception& error) {
        MsgBox(QString::fromStdString(error.what()), ApplicationTitle, StyleError);
    }
}

void TfrmHostEdit::sbTestClick()
{
    // The probe runs on its own thread; a click while it runs starts no second one.
    if (m_probe.Running() || !ValidateHost())
        return;
    TUser probe;
    ClearUser(probe);
    probe.HostIP = BareHostAddress(edtName->text());
    bool isNumber = false;
    const int port = edtPort->text().toInt(&isNumber);
    probe.HostPort = isNumber ? port : 22;
    probe.LoginName = edtMngLogin->text();
    probe.pwNow = EncipherPassword(edtMngPwd->text());
    TLoginRequest request = LoginRequestOf(probe, KnownHostsPathOf(m_dm));
    // The manager logs in as the batch will: with the key file when one is given, the agent where
    // nothing else could log in.
    request.passwordOnly = false;
    request.keyPath = edtMngKey->text().trimmed();
    request.keyPassphrase = SecretBuffer(edtMngKeyPass->text());
    request.useAgent = chkUseAgent->isChecked() || (request.keyPath.isEmpty() && edtMngPwd->text().isEmpty());
    request.legacyAlgorithms = chkLegacyAlgorithms->isChecked();
    StartLoginTest(m_probe, this, sbTest, request);
}

void TfrmHostEdit::SpeedButton3Click()
{
    edtMngPwd->setEchoMode(edtMngPwd->echoMode() == QLineEdit::Password ? QLineEdit::Normal : QLineEdit::Password);
}

void TfrmHostEdit::sbKeybrdClick()
{
    ShowKeyboard(edtMngPwd);
}

void TfrmHostEdit::cbbElevationChange()
{
    const bool su = ChosenElevation() == TElevation::Su;
    for (QWidget* widget : std::initializer_list<QWidget*>{lbRootPwd, edtRootPwd, sbRootKeybrd, sbShowRootPwd})
        widget->setEnabled(su);
}

void TfrmHostEdit::edtMngKeyChange()
{
    const bool key = !edtMngKey->text().trimmed().isEmpty();
    for (QWidget* widget : std::initializer_list<QWidget*>{edtMngKeyPass, sbKeyPassKeybrd, sbShowKeyPass})
        widget->setEnabled(key);
}

void TfrmHostEdit::sbMngKeyClick()
{
    const QString current = edtMngKey->text().trimmed();
    const QString chosen = keyFileChooser() ? keyFileChooser()(this, current) : chooseKeyFileInDialog(this, current);
    if (!chosen.isEmpty())
        edtMngKey->setText(QFileInfo(chosen).absoluteFilePath());
}

void TfrmHostEdit::btnSaveClick()
{
    if (!ValidateHost())
        return;
    Accepted = true;
    accept();
}

void TfrmHostEdit::btnCancelClick()
{
    reject();
}

void TfrmHostEdit::done(int result)
{
    // No balloon may outlive the dialog it points into, nor a Test Login go on waiting for it.
    CloseAllBalloons();
    m_probe.Cancel();
    TfrmBase::done(result);
}

void TfrmHostEdit::showEvent(QShowEvent* event)
{
    TfrmBase::showEvent(event);
    FormShow();
}

bool TfrmHostEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (watched == edtPort && !PortKeyAllowed(key->key(), key->modifiers(), key->text()))
            return true;
        if (watched == edtNote && isEnterKey(key->key())) {
            // The description is short; Enter moves on rather than starting a line.
            focusNextChild();
            return true;
        }
    }
    return TfrmBase::eventFilter(watched, event);
}

bool EditHostRecord(QWidget* parent, TdmPublic& dm, THost& host, bool adding)
{
    auto editor = std::make_unique<TfrmHostEdit>(dm, parent);
    editor->setWindowTitle(adding ? QStringLiteral("Add Host") : QStringLiteral("Host Editing"));
    editor->ShowHost(host);
    editor->ShowModal();
    editor->ReadHost(host);
    return editor->Accepted;
}
