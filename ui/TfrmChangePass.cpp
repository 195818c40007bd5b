#include "ui/TfrmChangePass.h"

#include "core/PasswordRules.h"

#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "ui/DrawnIcons.h"
#include "ui/TfrmKeyBoard.h"
#include "ui/TfrmLogin.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {

QLineEdit* passwordRow(QWidget* parent, const QString& label, const QString& name, int y, QToolButton** button,
                       const QString& buttonName)
{
    auto* caption = new QLabel(label, parent);
    caption->setGeometry(16, y + 3, 130, 17);
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(TfrmLogin::MaxPasswordLength);
    edit->setGeometry(148, y, 150, 21);
    caption->setBuddy(edit);
    *button = new QToolButton(parent);
    (*button)->setObjectName(buttonName);
    (*button)->setAutoRaise(true);
    (*button)->setIcon(KeyboardButtonIcon());
    (*button)->setToolTip(QStringLiteral("Show virtual keyboard"));
    (*button)->setFocusPolicy(Qt::NoFocus);
    (*button)->setGeometry(302, y - 1, 24, 23);
    return edit;
}

} // namespace

TfrmChangePass::TfrmChangePass(TdmPublic& dm, QWidget* parent) : TfrmBase(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("frmChangePass"));
    setWindowTitle(QStringLiteral("Change Password"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    SetClientSize(344, 150);

    edtOld = passwordRow(this, QStringLiteral("Current  &Password: "), QStringLiteral("edtOld"), 16, &sbKeybrd,
                         QStringLiteral("sbKeybrd"));
    edtNew = passwordRow(this, QStringLiteral("&New  Password: "), QStringLiteral("edtNew"), 46, &SpeedButton1,
                         QStringLiteral("SpeedButton1"));
    edtVerify = passwordRow(this, QStringLiteral("Co&firm New Password:"), QStringLiteral("edtVerify"), 76,
                            &SpeedButton2, QStringLiteral("SpeedButton2"));

    btnSave = new QPushButton(QStringLiteral("&OK"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setDefault(true);
    btnSave->setGeometry(166, 114, 75, 25);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(251, 114, 75, 25);

    connect(btnSave, &QPushButton::clicked, this, &TfrmChangePass::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmChangePass::btnCancelClick);
    connect(sbKeybrd, &QToolButton::clicked, this, &TfrmChangePass::sbKeybrdClick);
    connect(SpeedButton1, &QToolButton::clicked, this, &TfrmChangePass::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TfrmChangePass::SpeedButton2Click);
}

void TfrmChangePass::btnSaveClick()
{
    const auto warn = [](QLineEdit* field, const QString& text) {
        Ui().showBalloonTip(field, text, BalloonIcon::Warning, 1000);
    };
    const QString stored = DecipherPassword(m_dm.GetUserPass());
    if (edtOld->text() != stored) {
        warn(edtOld, QStringLiteral("Incorrect current password."));
        return;
    }
    if (edtNew->text() != edtVerify->text()) {
        warn(edtVerify, QStringLiteral("The new passwords do not match. "));
        return;
    }
    if (edtNew->text().isEmpty()) {
        warn(edtNew, QStringLiteral("New password is required.  "));
        return;
    }
    if (const QString problem = PasswordProblem(edtNew->text()); !problem.isEmpty()) {
        warn(edtNew, problem);
        return;
    }
    Accepted = true;
    accept();
}

void TfrmChangePass::btnCancelClick()
{
    reject();
}

void TfrmChangePass::sbKeybrdClick()
{
    ShowKeyboard(edtOld);
}

void TfrmChangePass::SpeedButton1Click()
{
    ShowKeyboard(edtNew);
}

void TfrmChangePass::SpeedButton2Click()
{
    ShowKeyboard(edtVerify, [this] { btnSaveClick(); });
}
