#include "ui/TfrmUserEdit.h"

#include "core/NameRules.h"
#include "core/PasswordRules.h"

#include "core/DayNumber.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "engine/ChangePlan.h"
#include "engine/PasswordGenerator.h"
#include "ui/BallHint.h"
#include "ui/DrawnIcons.h"
#include "ui/EditorIcons.h"
#include "ui/EditorLayout.h"
#include "ui/LoginTest.h"
#include "ui/LoginTestBalloon.h"
#include "ui/PasswordField.h"
#include "ui/TfrmKeyBoard.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include <memory>

namespace {

constexpr int kBalloonMs = 1000;
constexpr int kLeftX = 12;
constexpr int kRightX = 250;
constexpr int kRowPitch = 48;
constexpr int kFirstLabel = 10;

int labelTop(int row)
{
    return kFirstLabel + row * kRowPitch;
}

int fieldTop(int row)
{
    return labelTop(row) + 16;
}

/// The period field as days; -1 (no period) when it is empty or not a number.
int periodOf(const QLineEdit* field)
{
    bool isNumber = false;
    const int days = field->text().toInt(&isNumber);
    return isNumber ? days : -1;
}

} // namespace

TfrmUserEdit::TfrmUserEdit(TdmPublic& dm, QWidget* parent) : TfrmBase(parent), m_dm(dm)
{
    using namespace EditorLayout;
    setObjectName(QStringLiteral("frmUserEdit"));
    SetClientSize(ClientWidth, ClientHeight);
    ClearUser(User);

    HeaderTab = AddHeaderTab(this, QStringLiteral("     User Information"), QRect(8, 8, 150, 22));
    FieldPanel = AddFieldPanel(this, QRect(8, 30, ClientWidth - 16, 302));

    const auto addEdit = [this](const char* name, int x, int row, int width) {
        auto* edit = new QLineEdit(FieldPanel);
        edit->setObjectName(QLatin1String(name));
        edit->setGeometry(x, fieldTop(row), width, 21);
        return edit;
    };

    edtLogin = addEdit("edtLogin", kLeftX, 0, 130);
    AddFieldLabel(FieldPanel, QStringLiteral("&Login Name:"), edtLogin, kLeftX, labelTop(0), true);
    sbTest = AddFlatButton(FieldPanel, QStringLiteral("&Test Login "), TestLoginIcon(), QString(),
                           QRect(kLeftX + 134, fieldTop(0) - 2, 96, 25));
    sbTest->setObjectName(QStringLiteral("sbTest"));

    edtUserName = addEdit("edtUserName", kRightX, 0, 180);
    AddFieldLabel(FieldPanel, QStringLiteral("&Full Name:"), edtUserName, kRightX, labelTop(0), false);

    edtOldPwd = addEdit("edtOldPwd", kLeftX, 1, 130);
    MakePasswordField(*edtOldPwd);
    AddFieldLabel(FieldPanel, QStringLiteral("&Password:"), edtOldPwd, kLeftX, labelTop(1), true);
    sbKeybrd = AddFlatButton(FieldPanel, QString(), KeyboardButtonIcon(), QStringLiteral("Show virtual keyboard"),
                             QRect(kLeftX + 134, fieldTop(1) - 1, 24, 23));
    sbKeybrd->setObjectName(QStringLiteral("sbKeybrd"));
    SpeedButton2 =
        AddFlatButton(FieldPanel, QString(), GeneratePasswordIcon(), QStringLiteral("Generates new password"),
                      QRect(kLeftX + 160, fieldTop(1) - 1, 24, 23));
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton3 = AddFlatButton(FieldPanel, QString(), ShowPasswordIcon(), QStringLiteral("Show password "),
                                 QRect(kLeftX + 186, fieldTop(1) - 1, 24, 23));
    SpeedButton3->setObjectName(QStringLiteral("SpeedButton3"));

    edtNewPwd = addEdit("edtNewPwd", kRightX, 1, 150);
    MakePasswordField(*edtNewPwd);
    AddFieldLabel(FieldPanel, QStringLiteral("&New Password:"), edtNewPwd, kRightX, labelTop(1), false);
    SpeedButton1 = AddFlatButton(FieldPanel, QString(), KeyboardButtonIcon(), QStringLiteral("Show virtual keyboard"),
                                 QRect(kRightX + 154, fieldTop(1) - 1, 24, 23));
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));

    edtPeriod = addEdit("edtPeriod", kLeftX, 2, 60);
    AddFieldLabel(FieldPanel, QStringLiteral("&Valid Period"), edtPeriod, kLeftX, labelTop(2), false);
    auto* days = new QLabel(QStringLiteral("Days"), FieldPanel);
    days->move(kLeftX + 66, fieldTop(2) + 3);

    edtEmail = addEdit("edtEmail", kRightX, 2, 180);
    AddFieldLabel(FieldPanel, QStringLiteral("&Email:"), edtEmail, kRightX, labelTop(2), false);

    moRemark = new QPlainTextEdit(FieldPanel);
    moRemark->setObjectName(QStringLiteral("moRemark"));
    moRemark->setGeometry(kLeftX, fieldTop(3), 408, 94);
    moRemark->setTabChangesFocus(true);
    AddFieldLabel(FieldPanel, QStringLiteral("&Description:"), moRemark, kLeftX, labelTop(3), false);
    lbManagerNote = new QLabel(FieldPanel);
    lbManagerNote->setObjectName(QStringLiteral("lbManagerNote"));
    lbManagerNote->setGeometry(kLeftX, fieldTop(3) + 96, 408, 34);
    lbManagerNote->setWordWrap(true);
    lbManagerNote->hide();

    const int buttonTop = ClientHeight - 40;
    btnSaveAdd = new QPushButton(QStringLiteral("S&ave and add "), this);
    btnSaveAdd->setObjectName(QStringLiteral("btnSaveAdd"));
    btnSaveAdd->setGeometry(8, buttonTop, 150, 27);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(ClientWidth - 8 - 80, buttonTop, 80, 27);
    btnSave = new QPushButton(QStringLiteral("&OK"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setGeometry(ClientWidth - 8 - 170, buttonTop, 80, 27);

    setTabOrder(edtLogin, edtUserName);
    setTabOrder(edtUserName, edtOldPwd);
    setTabOrder(edtOldPwd, edtNewPwd);
    setTabOrder(edtNewPwd, edtPeriod);
    setTabOrder(edtPeriod, edtEmail);
    setTabOrder(edtEmail, moRemark);
    setTabOrder(moRemark, btnSaveAdd);
    setTabOrder(btnSaveAdd, btnSave);
    setTabOrder(btnSave, btnCancel);

    // FormCreate: the current password is limited, the pending one is not.
    edtOldPwd->setMaxLength(PasswordMaxLength);
    SetAddMode(false);

    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnSaveAdd, &QPushButton::clicked, this, [this] { btnSaveAddClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(sbTest, &QToolButton::clicked, this, [this] { sbTestClick(); });
    connect(sbKeybrd, &QToolButton::clicked, this, [this] { sbKeybrdClick(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    connect(edtLogin, &QLineEdit::textChanged, this, [this] { edtLoginChange(); });
}

void TfrmUserEdit::SetAddMode(bool adding)
{
    IsNew = adding;
    btnSaveAdd->setVisible(adding);
    btnSaveAdd->setDefault(adding);
    btnSave->setDefault(!adding);
}

QString TfrmUserEdit::GeneratedPassword() const
{
    const TOptionsFile& options = m_dm.OptionsFile;
    return GeneratePassword(options.PassNumber(), options.PassSpechar(), options.PassLength());
}

void TfrmUserEdit::ShowUser(bool adding)
{
    if (adding) {
        User.uID = m_dm.NextUserId();
        User.pwPeriod = -1;
        User.RecTime = DayNumber::None;
        User.pwLastTime = DayNumber::None;
        User.LoginName.clear();
        User.pwNow.clear();
        User.pwNew.clear();
        User.uName.clear();
        User.Email.clear();
        // A new user has no history of its own.
        User.LastLog.clear();
        User.ResultText.clear();
        if (m_dm.OptionsFile.AutoGenerate())
            User.pwNew = EncipherPassword(GeneratedPassword());
        User.uRemark.clear();
    }
    edtLogin->setText(User.LoginName);
    edtOldPwd->setText(DecipherPassword(User.pwNow));
    moRemark->setPlainText(User.uRemark);
    edtNewPwd->setText(DecipherPassword(User.pwNew));
    edtUserName->setText(User.uName);
    edtEmail->setText(User.Email);
    edtPeriod->setText(User.pwPeriod == -1 ? QString() : QString::number(User.pwPeriod));
    m_host = THost{};
    if (m_dm.DBSession.Connected()) {
        auto query = m_dm.NewQuery();
        query->SelectSQL = QStringLiteral("select * from Hosts where hID = ") + QString::number(User.hID);
        if (m_dm.OpenQuery(*query) && !query->Eof())
            HostFromQuery(*query, m_host);
    }
    edtLoginChange();
}

void TfrmUserEdit::edtLoginChange()
{
    const QString login = edtLogin->text();
    const QString host = m_host.hAddress + QLatin1Char(':') + QString::number(m_host.hPort);
    QString note;
    // A manager stored without a password keeps none (see SaveUserRecord), so nothing follows then.
    if (!login.isEmpty() && login == m_host.MngLogin && !m_host.MngPwd.isEmpty())
        note = QStringLiteral("This is the manager account of %1: a password change or verify of this user "
                              "also updates the host's stored manager password.")
                   .arg(host);
    else if (login == QLatin1String("root") && m_host.MngElevation == TElevation::Su)
        note = QStringLiteral("This is the root account the manager of %1 becomes with su: a password change or "
                              "verify of this user also updates the host's stored root password.")
                   .arg(host);
    lbManagerNote->setText(note);
    lbManagerNote->setVisible(!note.isEmpty());
}

void TfrmUserEdit::ReadUser()
{
    User.LoginName = edtLogin->text();
    User.pwNow = EncipherPassword(edtOldPwd->text());
    User.pwPeriod = periodOf(edtPeriod);
    User.uRemark = moRemark->toPlainText();
    User.pwNew = EncipherPassword(edtNewPwd->text());
    User.Email = edtEmail->text();
    User.uName = edtUserName->text();
}

bool TfrmUserEdit::ValidateUser()
{
    const auto refuse = [](QWidget* field, const QString& message) {
        Ui().showBalloonTip(field, message, BalloonIcon::Info, kBalloonMs);
        return false;
    };
    if (edtLogin->text().isEmpty())
        return refuse(edtLogin, QStringLiteral("Please input [User Name]  "));
    if (const QString problem = LoginNameProblem(edtLogin->text(), QStringLiteral("The login name"));
        !problem.isEmpty())
        return refuse(edtLogin, problem);
    if (edtOldPwd->text().isEmpty())
        return refuse(edtOldPwd, QStringLiteral("Please input [Password]  "));
    for (QLineEdit* field : {edtOldPwd, edtNewPwd})
        if (const QString problem = PasswordProblem(field->text()); !problem.isEmpty())
            return refuse(field, problem);
    return true;
}

void TfrmUserEdit::btnSaveClick()
{
    if (!ValidateUser())
        return;
    Accepted = true;
    accept();
}

void TfrmUserEdit::btnSaveAddClick()
{
    if (!ValidateUser())
        return;
    ReadUser();
    User.RecTime = DayNumber::Now();
    // The store failure has been shown already; listing the user or clearing the fields would then
    // pretend it was stored and lose what was typed.
    if (!m_dm.SaveUser(User, TSaveMode::Insert))
        return;
    if (UserStored)
        UserStored(User);
    ShowUser(true);
    edtLogin->setFocus();
}

void TfrmUserEdit::btnCancelClick()
{
    reject();
}

void TfrmUserEdit::sbTestClick()
{
    // The probe runs on its own thread; a click while it runs starts no second one.
    if (m_probe.Running() || !ValidateUser())
        return;
    User.LoginName = edtLogin->text();
    User.pwNow = EncipherPassword(edtOldPwd->text());
    User.uRemark = moRemark->toPlainText();
    User.pwPeriod = periodOf(edtPeriod);
    // The request is a copy: "S&ave and add " may start the next record while the probe runs.
    TLoginRequest request = LoginRequestOf(User, KnownHostsPathOf(m_dm));
    request.legacyAlgorithms = m_host.hLegacyAlgorithms;
    StartLoginTest(m_probe, this, sbTest, request);
}

void TfrmUserEdit::sbKeybrdClick()
{
    ShowKeyboard(edtOldPwd);
}

void TfrmUserEdit::SpeedButton1Click()
{
    ShowKeyboard(edtNewPwd);
}

void TfrmUserEdit::SpeedButton2Click()
{
    edtNewPwd->setText(GeneratedPassword());
}

void TfrmUserEdit::SpeedButton3Click()
{
    edtOldPwd->setEchoMode(edtOldPwd->echoMode() == QLineEdit::Password ? QLineEdit::Normal : QLineEdit::Password);
    edtNewPwd->setEchoMode(edtOldPwd->echoMode());
}

void TfrmUserEdit::done(int result)
{
    // No balloon may outlive the dialog it points into, nor a Test Login go on waiting for it.
    CloseAllBalloons();
    m_probe.Cancel();
    TfrmBase::done(result);
}

bool EditUserRecord(QWidget* parent, TdmPublic& dm, TUser& user, bool adding,
                    const std::function<void(const TUser&)>& userStored)
{
    auto editor = std::make_unique<TfrmUserEdit>(dm, parent);
    editor->User = user;
    editor->UserStored = userStored;
    editor->SetAddMode(adding);
    editor->setWindowTitle((adding ? QStringLiteral("Add User") : QStringLiteral("User Editing")) +
                           QStringLiteral(" - ") + user.HostIP + QLatin1Char(':') + QString::number(user.HostPort));
    editor->ShowUser(adding);
    editor->ShowModal();
    editor->ReadUser();
    user = editor->User;
    return editor->Accepted;
}
