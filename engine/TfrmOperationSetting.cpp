#include "engine/TfrmOperationSetting.h"

#include "core/DatabaseError.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "ui/TfrmBase.h"

#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>

#include <memory>

namespace {

constexpr int kPanelLeft = 8;
constexpr int kPanelTop = 34;
constexpr int kPanelWidth = TfrmOperationSetting::ClientWidth - 2 * kPanelLeft;
constexpr int kMemoLeft = 12;
constexpr int kMemoWidth = kPanelWidth - 2 * kMemoLeft;
constexpr int kMemoHeight = 46;
constexpr int kStepPitch = 78;
constexpr int kListMemoHeight = 62;
constexpr int kListPitch = 20 + kListMemoHeight + 6;
constexpr int kMoreSuccessTop = 8 + 4 * kStepPitch;
constexpr int kFailTop = kMoreSuccessTop + kListPitch;
constexpr int kEnglishTop = kFailTop + kListPitch;
constexpr int kPanelHeight = kEnglishTop + 28;
constexpr int kBalloonMs = 1000;

bool isEnterKey(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TfrmOperationSetting::TfrmOperationSetting(TdmPublic& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("frmOperationSetting"));
    setWindowTitle(QStringLiteral("Operating System Settings"));
    setWindowFlags(TfrmBase::DialogWindowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(ClientWidth, ClientHeight);
    setFont(TfrmBase::DialogFont());

    RzPanel1 = new QLabel(QStringLiteral("    Operating System Settings"), this);
    RzPanel1->setObjectName(QStringLiteral("RzPanel1"));
    RzPanel1->setGeometry(kPanelLeft, 10, 240, 25);
    RzPanel1->setStyleSheet(QStringLiteral("background-color: #D0D5D5; border: 1px solid #444444; border-bottom: none;"
                                           "font-weight: bold;"));

    btnDelete = new QPushButton(QStringLiteral("&Delete this type"), this);
    btnDelete->setObjectName(QStringLiteral("btnDelete"));
    btnDelete->setGeometry(ClientWidth - kPanelLeft - 110, 6, 110, 25);

    RzPanel2 = new QFrame(this);
    RzPanel2->setObjectName(QStringLiteral("RzPanel2"));
    RzPanel2->setFrameShape(QFrame::Box);
    RzPanel2->setGeometry(kPanelLeft, kPanelTop, kPanelWidth, kPanelHeight);

    edtOldTxt = addStepMemo(lbOldpass, QStringLiteral("Send &old password when exists following text:"), 8);
    lbOldpass->setObjectName(QStringLiteral("lbOldpass"));
    edtOldTxt->setObjectName(QStringLiteral("edtOldTxt"));
    chkOLDPass = new QCheckBox(QStringLiteral("S&kip this step"), RzPanel2);
    chkOLDPass->setObjectName(QStringLiteral("chkOLDPass"));
    chkOLDPass->setGeometry(kMemoLeft + kMemoWidth - 130, 6, 130, 20);

    edtNewText = addStepMemo(Label2, QStringLiteral("Send &new password when exists following text:"), 8 + kStepPitch);
    Label2->setObjectName(QStringLiteral("Label2"));
    edtNewText->setObjectName(QStringLiteral("edtNewText"));
    edtReNewText =
        addStepMemo(Label3, QStringLiteral("Send n&ew password again when exists following text:"), 8 + 2 * kStepPitch);
    Label3->setObjectName(QStringLiteral("Label3"));
    edtReNewText->setObjectName(QStringLiteral("edtReNewText"));
    edtSuccessText =
        addStepMemo(Label4, QStringLiteral("Changed success&fully if exists following text:"), 8 + 3 * kStepPitch);
    Label4->setObjectName(QStringLiteral("Label4"));
    edtSuccessText->setObjectName(QStringLiteral("edtSuccessText"));
    chkExitStatus = new QCheckBox(QStringLiteral("Or by e&xit status 0"), RzPanel2);
    chkExitStatus->setObjectName(QStringLiteral("chkExitStatus"));
    chkExitStatus->setGeometry(kMemoLeft + kMemoWidth - 130, 6 + 3 * kStepPitch, 130, 20);
    chkExitStatus->setToolTip(QStringLiteral("For systems whose passwd prints nothing on success (the BSDs, "
                                             "macOS): exit status 0 after the last answer is a success"));

    edtSuccessTexts =
        addListMemo(lbSuccessTexts, QStringLiteral("More success &texts (one per line):"), kMoreSuccessTop);
    lbSuccessTexts->setObjectName(QStringLiteral("lbSuccessTexts"));
    edtSuccessTexts->setObjectName(QStringLiteral("edtSuccessTexts"));
    edtSuccessTexts->setToolTip(QStringLiteral("Other wordings of the same system that also prove the change, "
                                               "such as BusyBox's \"changed by\""));
    edtFailTexts = addListMemo(
        lbFailTexts, QStringLiteral("Fail at once when any of these texts appears (one per l&ine):"), kFailTop);
    lbFailTexts->setObjectName(QStringLiteral("lbFailTexts"));
    edtFailTexts->setObjectName(QStringLiteral("edtFailTexts"));

    chkEnglish = new QCheckBox(QStringLiteral("Ask the host for English &messages (LC_ALL=C, LANG=C)"), RzPanel2);
    chkEnglish->setObjectName(QStringLiteral("chkEnglish"));
    chkEnglish->setGeometry(kMemoLeft, kEnglishTop, kMemoWidth, 20);
    chkEnglish->setToolTip(QStringLiteral("Untick it for a profile whose texts are in the host's own language"));

    const int bottomRow = ClientHeight - 36;
    Label5 = new QLabel(QStringLiteral("Save &as:"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setGeometry(kPanelLeft, bottomRow + 4, 60, 18);
    edtName = new QLineEdit(this);
    edtName->setObjectName(QStringLiteral("edtName"));
    edtName->setGeometry(kPanelLeft + 62, bottomRow + 2, 220, 22);
    Label5->setBuddy(edtName);
    edtName->installEventFilter(this);

    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(ClientWidth - kPanelLeft - 80, bottomRow, 80, 26);
    btnSave = new QPushButton(QStringLiteral("&OK"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setGeometry(ClientWidth - kPanelLeft - 170, bottomRow, 80, 26);
    btnSave->setDefault(true);

    setTabOrder(edtOldTxt, edtNewText);
    setTabOrder(edtNewText, edtReNewText);
    setTabOrder(edtReNewText, edtSuccessText);
    setTabOrder(edtSuccessText, edtSuccessTexts);
    setTabOrder(edtSuccessTexts, edtFailTexts);
    setTabOrder(edtFailTexts, chkOLDPass);
    setTabOrder(chkOLDPass, chkExitStatus);
    setTabOrder(chkExitStatus, chkEnglish);
    setTabOrder(chkEnglish, edtName);
    setTabOrder(edtName, btnSave);
    setTabOrder(btnSave, btnCancel);
    setTabOrder(btnCancel, btnDelete);

    connect(chkOLDPass, &QCheckBox::toggled, this, [this] { chkOLDPassClick(); });
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(btnDelete, &QPushButton::clicked, this, [this] { btnDeleteClick(); });
}

QString TfrmOperationSetting::WithoutLineBreaks(QString text)
{
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

QPlainTextEdit* TfrmOperationSetting::addStepMemo(QLabel*& label, const QString& caption, int top)
{
    label = new QLabel(caption, RzPanel2);
    label->setGeometry(kMemoLeft, top, kMemoWidth - 140, 18);
    auto* memo = new QPlainTextEdit(RzPanel2);
    memo->setGeometry(kMemoLeft, top + 20, kMemoWidth, kMemoHeight);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setTabChangesFocus(true);
    memo->installEventFilter(this);
    label->setBuddy(memo);
    // A prompt is matched on one line: a pasted line break would make it never match.
    connect(memo, &QPlainTextEdit::textChanged, memo, [memo] {
        const QString text = memo->toPlainText();
        if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
            return;
        const QSignalBlocker blocker(memo);
        const int position = memo->textCursor().position();
        const QString oneLine = WithoutLineBreaks(text);
        memo->setPlainText(oneLine);
        QTextCursor cursor = memo->textCursor();
        cursor.setPosition(qMin<int>(position, static_cast<int>(oneLine.size())));
        memo->setTextCursor(cursor);
    });
    return memo;
}

QPlainTextEdit* TfrmOperationSetting::addListMemo(QLabel*& label, const QString& caption, int top)
{
    label = new QLabel(caption, RzPanel2);
    label->setGeometry(kMemoLeft, top, kMemoWidth, 18);
    auto* memo = new QPlainTextEdit(RzPanel2);
    memo->setGeometry(kMemoLeft, top + 20, kMemoWidth, kListMemoHeight);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setTabChangesFocus(true);
    label->setBuddy(memo);
    return memo;
}

void TfrmOperationSetting::ShowProfile()
{
    edtOldTxt->setPlainText(Flg.InputOldPassword);
    edtNewText->setPlainText(Flg.InputNewPassword);
    edtReNewText->setPlainText(Flg.RetypeNewPassword);
    edtSuccessText->setPlainText(Flg.ChangeSuccessfully);
    chkOLDPass->setChecked(Flg.canskip != -1);
    chkOLDPassClick();
    chkExitStatus->setChecked(Flg.SuccessByExitStatus);
    edtSuccessTexts->setPlainText(Flg.SuccessTexts.join(QLatin1Char('\n')));
    edtFailTexts->setPlainText(Flg.FailureTexts.join(QLatin1Char('\n')));
    chkEnglish->setChecked(Flg.EnglishMessages);
    btnDelete->setEnabled(Flg.OSID != -1);
}

void TfrmOperationSetting::ReadProfile()
{
    Flg.OSName = edtName->text();
    Flg.InputOldPassword = WithoutLineBreaks(edtOldTxt->toPlainText());
    Flg.InputNewPassword = WithoutLineBreaks(edtNewText->toPlainText());
    Flg.RetypeNewPassword = WithoutLineBreaks(edtReNewText->toPlainText());
    Flg.ChangeSuccessfully = WithoutLineBreaks(edtSuccessText->toPlainText());
    Flg.canskip = chkOLDPass->isChecked() ? 1 : -1;
    Flg.SuccessByExitStatus = chkExitStatus->isChecked();
    Flg.SuccessTexts = SplitFailureTexts(edtSuccessTexts->toPlainText());
    Flg.FailureTexts = SplitFailureTexts(edtFailTexts->toPlainText());
    Flg.EnglishMessages = chkEnglish->isChecked();
}

void TfrmOperationSetting::chkOLDPassClick()
{
    const bool performed = !chkOLDPass->isChecked();
    lbOldpass->setEnabled(performed);
    edtOldTxt->setEnabled(performed);
}

void TfrmOperationSetting::btnSaveClick()
{
    QWidget* empty = nullptr;
    if (!chkOLDPass->isChecked() && edtOldTxt->toPlainText().isEmpty())
        empty = edtOldTxt;
    else if (edtNewText->toPlainText().isEmpty())
        empty = edtNewText;
    else if (edtReNewText->toPlainText().isEmpty())
        empty = edtReNewText;
    else if (!chkExitStatus->isChecked() && edtSuccessText->toPlainText().isEmpty())
        empty = edtSuccessText;
    else if (edtName->text().isEmpty())
        empty = edtName;
    if (empty) {
        Ui().showBalloonTip(empty, EmptyFieldMessage, BalloonIcon::Info, kBalloonMs);
        return;
    }
    Accepted = true;
    Changed = true;
    accept();
}

void TfrmOperationSetting::btnCancelClick()
{
    reject();
}

void TfrmOperationSetting::btnDeleteClick()
{
    if (Flg.OSID == -1)
        return;
    try {
        DeleteOSProfile(m_dm, Flg.OSID);
        Changed = true;
    } catch (const std::exception& error) {
        MsgBox(QString::fromStdString(error.what()), QStringLiteral("Error"), StyleError);
    }
    reject();
}

bool TfrmOperationSetting::eventFilter(QObject* watched, QEvent* event)
{
    if (isEnterKey(event)) {
        if (watched == edtName) {
            // The name is usually typed last; Enter steps on to OK instead of pressing it unseen.
            focusNextChild();
            return true;
        }
        if (qobject_cast<QPlainTextEdit*>(watched)) {
            // The prompt texts are single-line patterns: Enter presses OK instead of breaking the line.
            btnSave->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool EditOSProfile(QWidget* parent, TdmPublic& dm, int& osid, const QString& name)
{
    auto dialog = std::make_unique<TfrmOperationSetting>(dm, parent);
    dialog->setWindowTitle(TfrmOperationSetting::CaptionPrefix +
                           (osid == -1 ? TfrmOperationSetting::OtherOSName : name));
    if (osid != -1)
        dialog->edtName->setText(name);
    dialog->Flg.OSID = osid;
    LoadActionFlg(dm, dialog->Flg);
    dialog->ShowProfile();
    TfrmBase::CentreOverMainWindow(*dialog);
    TfrmBase::ExecModal(*dialog);

    const bool changed = dialog->Changed;
    if (dialog->Accepted) {
        dialog->ReadProfile();
        osid = SaveOSProfile(dm, dialog->Flg);
    }
    return changed;
}
