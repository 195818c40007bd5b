#include "ui/TfrmLogin.h"

#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "ui/DrawnIcons.h"
#include "ui/PasswordField.h"
#include "ui/ProgramPassword.h"
#include "ui/TfrmKeyBoard.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

namespace {

/// The login dialog's background: a quiet gradient with a padlock, drawn rather than shipped.
QPixmap LoginBackground(const QSize& size)
{
    QPixmap pixmap(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, QColor(0x2F, 0x4F, 0x7F));
    gradient.setColorAt(0.45, QColor(0xE8, 0xEE, 0xF6));
    gradient.setColorAt(1, QColor(0xF7, 0xF6, 0xF5));
    painter.fillRect(pixmap.rect(), gradient);
    // Padlock: shackle and body.
    painter.setPen(QPen(QColor(0xF2, 0xC1, 0x4E), 5));
    painter.drawArc(QRect(24, 12, 28, 30), 0, 180 * 16);
    painter.drawLine(24, 27, 24, 34);
    painter.drawLine(52, 27, 52, 34);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xF2, 0xC1, 0x4E));
    painter.drawRoundedRect(QRect(18, 32, 40, 30), 4, 4);
    painter.setBrush(QColor(0x5A, 0x45, 0x10));
    painter.drawEllipse(QPoint(38, 44), 4, 4);
    painter.drawRect(QRect(36, 46, 4, 9));
    QFont title = painter.font();
    title.setPointSize(13);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRect(72, 18, size.width() - 80, 40), Qt::AlignVCenter | Qt::AlignLeft, ApplicationTitle);
    return pixmap;
}

} // namespace

TfrmLogin::TfrmLogin(TdmPublic& dm, QWidget* parent) : TfrmBase(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Check Password "));
    setWindowFlags(TfrmBase::DialogWindowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    SetClientSize(330, 170);

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(0, 0, 330, 170);
    image->setPixmap(LoginBackground(QSize(330, 170)));

    auto* prompt = new QLabel(QStringLiteral("&Password:"), this);
    prompt->setGeometry(20, 80, 70, 21);

    edtPassword = new QLineEdit(this);
    edtPassword->setObjectName(QStringLiteral("edtPassword"));
    MakePasswordField(*edtPassword);
    edtPassword->setMaxLength(MaxPasswordLength);
    edtPassword->setGeometry(92, 80, 190, 21);
    prompt->setBuddy(edtPassword);

    sbKeybrd = new QToolButton(this);
    sbKeybrd->setObjectName(QStringLiteral("sbKeybrd"));
    sbKeybrd->setAutoRaise(true);
    sbKeybrd->setIcon(KeyboardButtonIcon());
    sbKeybrd->setToolTip(QStringLiteral("Show virtual keyboard"));
    sbKeybrd->setFocusPolicy(Qt::NoFocus);
    sbKeybrd->setGeometry(286, 79, 24, 23);

    RzURLLabel1 = new QLabel(QStringLiteral("<a href=\"#\">Forgot your password?</a>"), this);
    RzURLLabel1->setObjectName(QStringLiteral("RzURLLabel1"));
    RzURLLabel1->setTextFormat(Qt::RichText);
    RzURLLabel1->setGeometry(92, 106, 190, 18);

    btnSave = new QPushButton(QStringLiteral("&OK"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setDefault(true);
    btnSave->setGeometry(150, 134, 75, 25);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(235, 134, 75, 25);

    connect(btnSave, &QPushButton::clicked, this, &TfrmLogin::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmLogin::btnCancelClick);
    connect(sbKeybrd, &QToolButton::clicked, this, &TfrmLogin::sbKeybrdClick);
    connect(RzURLLabel1, &QLabel::linkActivated, this, &TfrmLogin::RzURLLabel1Click);
    edtPassword->setFocus();
}

void TfrmLogin::btnSaveClick()
{
    // A database under the program password opens only with it: opening it is the check.
    const bool passed = m_dm.NeedsDatabasePassword() ? m_dm.OpenWithPassword(SecretBuffer(edtPassword->text()))
                                                     : edtPassword->text() == DecipherPassword(m_dm.GetUserPass());
    if (passed) {
        Passed = true;
        accept();
        return;
    }
    // No limit on attempts and no delay: the dialog only guards a desktop program.
    // A file whose first page is damaged reads like one under another password: nothing tells them apart.
    Ui().showBalloonTip(edtPassword,
                        m_dm.NeedsDatabasePassword()
                            ? QStringLiteral("Incorrect password. If this database has no password of its own, its "
                                             "file is damaged: restore it from a backup.")
                            : QStringLiteral("Incorrect password. "),
                        BalloonIcon::Error, m_dm.NeedsDatabasePassword() ? 4000 : 1000);
}

void TfrmLogin::btnCancelClick()
{
    reject();
}

void TfrmLogin::sbKeybrdClick()
{
    ShowKeyboard(edtPassword, [this] { btnSaveClick(); });
}

void TfrmLogin::RzURLLabel1Click()
{
    // Support recovers a password from the cipher text the mail carries, which lies inside the file
    // that only the password opens.
    if (m_dm.NeedsDatabasePassword()) {
        MsgBox(NoRecoveryText, ApplicationTitle, StyleInformation);
        return;
    }
    OpenExternal(ForgotPasswordLink(m_dm.GetUserPass(), m_dm.OptionsFile.SupportAddress()));
}
