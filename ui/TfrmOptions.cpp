#include "ui/TfrmOptions.h"

#include "core/DatabaseError.h"
#include "core/DatabaseProtection.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "ui/ProgramPassword.h"
#include "ui/TfrmBase.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int kPageRole = Qt::UserRole + 1;
const QString kNoNodeCaption = QStringLiteral(" Setting Details ");
// Page colour $F7F6F5 is blue F7, green F6, red F5.
const QColor kPageColour(0xF5, 0xF6, 0xF7);

QIcon Padlock()
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x70, 0x70, 0x78), 2.5));
    p.drawArc(QRectF(6.5, 2.5, 11, 12), 0, 180 * 16);
    p.drawLine(QPointF(6.5, 8.5), QPointF(6.5, 11));
    p.drawLine(QPointF(17.5, 8.5), QPointF(17.5, 11));
    p.setPen(QPen(QColor(0x8A, 0x6A, 0x10), 1));
    p.setBrush(QColor(0xF2, 0xC1, 0x4E));
    p.drawRoundedRect(QRectF(3.5, 10.5, 17, 12), 2, 2);
    p.setBrush(QColor(0x5A, 0x45, 0x10));
    p.drawEllipse(QPointF(12, 15.5), 1.8, 1.8);
    return QIcon(pixmap);
}

QIcon GearWithSpark()
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath gear;
    const QPointF c(10, 13);
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(c);
        p.rotate(i * 45.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x5F, 0x6B, 0x7A));
        p.drawRect(QRectF(-1.6, -9, 3.2, 4));
        p.restore();
    }
    p.setPen(QPen(QColor(0x3C, 0x45, 0x50), 1));
    p.setBrush(QColor(0x8E, 0x9B, 0xAA));
    p.drawEllipse(c, 6.2, 6.2);
    p.setBrush(Qt::white);
    p.drawEllipse(c, 2.3, 2.3);
    // The spark.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xB0, 0x00));
    const QPointF s(19, 5);
    QPolygonF star;
    for (int i = 0; i < 8; ++i) {
        const double r = (i % 2) ? 1.6 : 5.0;
        const double a = i * M_PI / 4;
        star << QPointF(s.x() + r * std::cos(a), s.y() + r * std::sin(a));
    }
    p.drawPolygon(star);
    return QIcon(pixmap);
}

QIcon BlueQuestionMark()
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient fill(QPointF(9, 8), 14);
    fill.setColorAt(0, QColor(0x7F, 0xB2, 0xF0));
    fill.setColorAt(1, QColor(0x1E, 0x5A, 0xC8));
    p.setPen(QPen(QColor(0x12, 0x3C, 0x8C), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, 21, 21));
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(16);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(1.5, 1.5, 21, 21), Qt::AlignCenter, QStringLiteral("?"));
    return QIcon(pixmap);
}

/// A note under a separator line, with an information picture.
void addNote(QWidget* page, const QString& text, int y)
{
    auto* line = new QFrame(page);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(12, y, 355, 2);
    auto* picture = new QLabel(page);
    picture->setPixmap(page->style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(24, 24));
    picture->setGeometry(14, y + 10, 24, 24);
    auto* label = new QLabel(text, page);
    label->setWordWrap(true);
    label->setGeometry(46, y + 10, 320, 34);
}

QCheckBox* addCheck(QWidget* page, const QString& name, const QString& caption, int y)
{
    auto* box = new QCheckBox(caption, page);
    box->setObjectName(name);
    box->setGeometry(20, y, 340, 20);
    return box;
}

constexpr int kTreePanelWidth = 182;

/// The tree panel's width: the layout's width, or more when the longest caption needs it (a font that
/// stands in for Tahoma is often wider, and a cut caption hides which page a node opens).
int TreePanelWidth(QTreeWidget& tree, int band)
{
    tree.resizeColumnToContents(0);
    return std::max(kTreePanelWidth, tree.columnWidth(0) + 2 * band);
}

} // namespace

TfrmOptions::TfrmOptions(TdmPublic& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlags(TfrmBase::DialogWindowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(575, 355);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(8);
    setFont(tahoma);

    auto* treeFrame = new QFrame(this);
    treeFrame->setFrameShape(QFrame::StyledPanel);
    treeFrame->setGeometry(6, 6, 182, 298);
    treeFrame->setStyleSheet(QStringLiteral("QFrame { background: white; }"));
    tvOption = new QTreeWidget(treeFrame);
    tvOption->setObjectName(QStringLiteral("tvOption"));
    tvOption->setGeometry(4, 4, 174, 290); // the 3-pixel white band around the tree
    tvOption->setHeaderHidden(true);
    tvOption->setRootIsDecorated(false);
    tvOption->setItemsExpandable(false);
    tvOption->setIndentation(27);
    tvOption->setIconSize(QSize(24, 24));
    tvOption->setFrameShape(QFrame::NoFrame);
    tvOption->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const struct
    {
        const char* text;
        QIcon icon;
        int page;
    } nodes[] = {{"Password Protection", Padlock(), 0},
                 {"Generate Password Rules", GearWithSpark(), 1},
                 {"Operation Confirmation", BlueQuestionMark(), 2}};
    for (const auto& node : nodes) {
        auto* item = new QTreeWidgetItem(tvOption, QStringList(QString::fromLatin1(node.text)));
        item->setIcon(0, node.icon);
        item->setData(0, kPageRole, node.page);
    }

    // Everything right of the tree moves over by what the tree grew.
    const int widen = TreePanelWidth(*tvOption, 4) - kTreePanelWidth;
    treeFrame->setGeometry(6, 6, kTreePanelWidth + widen, 298);
    tvOption->setGeometry(4, 4, 174 + widen, 290);
    setFixedSize(575 + widen, 355);

    pcOptions = new QTabBar(this);
    pcOptions->setObjectName(QStringLiteral("pcOptions"));
    QFont verdana(QStringLiteral("Verdana"));
    verdana.setPointSize(8);
    pcOptions->setFont(verdana);
    pcOptions->setGeometry(190 + widen, 6, 379, 24);
    pcOptions->setExpanding(true);
    pcOptions->setDrawBase(false);
    pcOptions->setFocusPolicy(Qt::NoFocus);
    pcOptions->addTab(kNoNodeCaption);
    pages = new QStackedWidget(this);
    pages->setObjectName(QStringLiteral("pages"));
    pages->setFont(verdana);
    pages->setGeometry(190 + widen, 30, 379, 274);
    pages->setAutoFillBackground(true);
    QPalette palette = pages->palette();
    palette.setColor(QPalette::Window, kPageColour);
    pages->setPalette(palette);
    buildPages();

    RzBitBtn1 = new QPushButton(QStringLiteral("Load &Default Settings"), this);
    RzBitBtn1->setObjectName(QStringLiteral("RzBitBtn1"));
    RzBitBtn1->setGeometry(8, 318, 123, 27);
    btnSave = new QPushButton(QStringLiteral("&OK"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setDefault(true);
    btnSave->setGeometry(405 + widen, 318, 75, 27);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(490 + widen, 318, 75, 27);

    connect(tvOption, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { ShowOptionPage(current); });
    connect(tvOption, &QTreeWidget::itemCollapsed, this, [](QTreeWidgetItem* item) { item->setExpanded(true); });
    connect(xafdsUp, &QToolButton::clicked, this, &TfrmOptions::xafdsUpRightClick);
    connect(xafdsDown, &QToolButton::clicked, this, &TfrmOptions::xafdsDownLeftClick);
    connect(btnEnablePWD, &QPushButton::clicked, this, &TfrmOptions::btnEnablePWDClick);
    connect(btnChange, &QPushButton::clicked, this, &TfrmOptions::btnChangeClick);
    connect(chkEncryptDatabase, &QCheckBox::clicked, this, &TfrmOptions::chkEncryptDatabaseClick);
    connect(RzBitBtn1, &QPushButton::clicked, this, &TfrmOptions::RzBitBtn1Click);
    connect(btnSave, &QPushButton::clicked, this, &TfrmOptions::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmOptions::btnCancelClick);

    // Loading, in the order the dialog has always read its values.
    ShowOptionPage(nullptr);
    tvOption->expandAll();
    const TOptionsFile& options = m_dm.OptionsFile;
    edtLength->setText(QString::number(options.PassLength()));
    ShowProtectionState(m_dm.PasswordProtectionEnabled());
    chkNumeric->setChecked(options.PassNumber());
    chkSpechar->setChecked(options.PassSpechar());
    chkAutoGenerate->setChecked(options.AutoGenerate());
    chkChangePassword->setChecked(options.ChangePassword());
    chkDelUser->setChecked(options.DeleteUser());
    chkSendMail->setChecked(options.SendMail());
    chkTestLogin->setChecked(options.TestLogin());
    chkVerifyPassword->setChecked(options.VerifyPassword());
    chkGenerateNew->setChecked(options.GenerateNew());
    spnParallelHosts->setValue(options.ParallelHosts());
    chkVerifyAfterChange->setChecked(options.VerifyAfterChange());
    // Marks "no node chosen" as deliberate, or the view would choose the first node when it takes the focus.
    tvOption->setCurrentIndex(QModelIndex());
    tvOption->setFocus();
}

void TfrmOptions::buildPages()
{
    // Page 0: password protection.
    auto* protection = new QWidget;
    btnEnablePWD = new QPushButton(protection);
    btnEnablePWD->setObjectName(QStringLiteral("btnEnablePWD"));
    btnEnablePWD->setGeometry(20, 24, 185, 27);
    btnChange = new QPushButton(QStringLiteral("Change &Password... "), protection);
    btnChange->setObjectName(QStringLiteral("btnChange"));
    btnChange->setGeometry(20, 62, 185, 27);
    chkEncryptDatabase = addCheck(protection, QStringLiteral("chkEncryptDatabase"),
                                  QStringLiteral("Encrypt the database with the program password"), 104);
    addNote(protection, QStringLiteral("Password protection can prevent other people using the software."), 200);
    pages->addWidget(protection);

    // Page 1: rules of generated passwords.
    auto* rules = new QWidget;
    auto* lengthLabel = new QLabel(QStringLiteral("P&assword length:"), rules);
    lengthLabel->setGeometry(20, 24, 110, 21);
    edtLength = new QLineEdit(rules);
    edtLength->setObjectName(QStringLiteral("edtLength"));
    edtLength->setReadOnly(true);
    edtLength->setAlignment(Qt::AlignRight);
    edtLength->setGeometry(132, 24, 65, 21);
    lengthLabel->setBuddy(edtLength);
    xafdsUp = new QToolButton(rules);
    xafdsUp->setObjectName(QStringLiteral("xafdsUp"));
    xafdsUp->setArrowType(Qt::UpArrow);
    xafdsUp->setGeometry(198, 24, 17, 11);
    xafdsDown = new QToolButton(rules);
    xafdsDown->setObjectName(QStringLiteral("xafdsDown"));
    xafdsDown->setArrowType(Qt::DownArrow);
    xafdsDown->setGeometry(198, 35, 17, 10);
    chkLetters =
        addCheck(rules, QStringLiteral("chkLetters"), QStringLiteral("&Letters, Include 'A'..'Z', 'a'..'z'"), 60);
    chkLetters->setChecked(true);
    chkLetters->setEnabled(false);
    chkNumeric = addCheck(rules, QStringLiteral("chkNumeric"), QStringLiteral("&Numeric, Include '0'..'9'"), 84);
    chkSpechar = addCheck(rules, QStringLiteral("chkSpechar"),
                          QStringLiteral("&Special Characters, Such as '!', '@', '#', '$'."), 108);
    chkAutoGenerate = addCheck(rules, QStringLiteral("chkAutoGenerate"),
                               QStringLiteral("&Automatically generate new password."), 144);
    addNote(rules, QStringLiteral("The rules are used to generate new password. "), 200);
    pages->addWidget(rules);

    // Page 2: confirmations before batches.
    auto* confirmations = new QWidget;
    chkDelUser = addCheck(confirmations, QStringLiteral("chkDelUser"),
                          QStringLiteral("Confirm before batched &delete users"), 24);
    chkTestLogin = addCheck(confirmations, QStringLiteral("chkTestLogin"),
                            QStringLiteral("Confirm before batched &test login"), 48);
    chkGenerateNew = addCheck(confirmations, QStringLiteral("chkGenerateNew"),
                              QStringLiteral("Confirm before batched generate &new password"), 72);
    chkChangePassword = addCheck(confirmations, QStringLiteral("chkChangePassword"),
                                 QStringLiteral("Confirm before batched change &password"), 96);
    chkSendMail = addCheck(confirmations, QStringLiteral("chkSendMail"),
                           QStringLiteral("Confirm before batched &send notice email"), 120);
    chkSendMail->setVisible(false); // the notice mail is not offered; its switch is still kept
    chkVerifyPassword = addCheck(confirmations, QStringLiteral("chkVerifyPassword"),
                                 QStringLiteral("Confirm before batched &verify password"), 120);
    auto* parallelLabel = new QLabel(QStringLiteral("&Hosts at once:"), confirmations);
    parallelLabel->setGeometry(20, 156, 110, 21);
    spnParallelHosts = new QSpinBox(confirmations);
    spnParallelHosts->setObjectName(QStringLiteral("spnParallelHosts"));
    spnParallelHosts->setRange(TOptionsFile::MinParallelHosts, TOptionsFile::MaxParallelHosts);
    spnParallelHosts->setGeometry(132, 156, 65, 21);
    spnParallelHosts->setToolTip(QStringLiteral("How many hosts a batch works on at the same time; the accounts of "
                                                "one host always run one after another."));
    parallelLabel->setBuddy(spnParallelHosts);
    chkVerifyAfterChange = addCheck(confirmations, QStringLiteral("chkVerifyAfterChange"),
                                    QStringLiteral("Check each change at once with the new password"), 180);
    chkVerifyAfterChange->setToolTip(QStringLiteral("After the host reports a change, check it (through the "
                                                    "manager's reading of the shadow entry, or by a login) before "
                                                    "the new password becomes the current one."));
    addNote(confirmations, QStringLiteral("Batch operations need to take some time."), 208);
    pages->addWidget(confirmations);

    pages->addWidget(new QWidget); // an empty fourth page, never shown
}

void TfrmOptions::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    TfrmBase::CentreOverMainWindow(*this);
}

QString TfrmOptions::StepLength(const QString& text, int step)
{
    bool ok = false;
    int value = text.trimmed().toInt(&ok);
    if (!ok)
        value = 0;
    value += step;
    value = std::clamp(value, 0, 30);
    return QString::number(value);
}

void TfrmOptions::ShowOptionPage(QTreeWidgetItem* node)
{
    const int page = node ? node->data(0, kPageRole).toInt() : 0;
    pages->setCurrentIndex(page);
    pcOptions->setTabText(0, node ? node->text(0) : kNoNodeCaption);
}

void TfrmOptions::ShowProtectionState(bool enabled)
{
    btnChange->setEnabled(enabled);
    chkEncryptDatabase->setEnabled(enabled);
    chkEncryptDatabase->setChecked(m_dm.DBSession.KeyedByPassword());
    btnEnablePWD->setText(enabled ? QStringLiteral("Disable P&assword Protection")
                                  : QStringLiteral("Enable P&assword Protection"));
}

void TfrmOptions::xafdsUpRightClick()
{
    edtLength->setText(StepLength(edtLength->text(), 1));
}

void TfrmOptions::xafdsDownLeftClick()
{
    edtLength->setText(StepLength(edtLength->text(), -1));
}

void TfrmOptions::btnEnablePWDClick()
{
    const bool enabled = m_dm.PasswordProtectionEnabled();
    // Protection with an empty password would let anyone in: without a password one is set first,
    // and a cancelled dialog leaves protection off.
    if (!enabled && DecipherPassword(m_dm.GetUserPass()).isEmpty() && !ChangeProgramPassword(m_dm, this))
        return;
    // Without protection no login would ask for the password that opens the file: back to the
    // built-in key first, and protection stays on when that fails.
    if (enabled && m_dm.DBSession.KeyedByPassword()) {
        try {
            UnprotectDatabase(m_dm);
        } catch (const DatabaseError& error) {
            MsgBox(error.message(), ApplicationTitle, StyleError);
            return;
        }
    }
    m_dm.SetPasswordProtection(!enabled);
    ShowProtectionState(!enabled);
}

void TfrmOptions::btnChangeClick()
{
    ChangeProgramPassword(m_dm, this);
}

void TfrmOptions::chkEncryptDatabaseClick(bool checked)
{
    const QString password = checked ? DecipherPassword(m_dm.GetUserPass()) : QString();
    const QString problem = checked ? DatabasePasswordProblem(password) : QString();
    try {
        if (!checked)
            UnprotectDatabase(m_dm);
        else if (!problem.isEmpty())
            MsgBox(problem, ApplicationTitle, StyleError);
        else if (MsgBoxYes(EncryptConfirmationText, ApplicationTitle, StyleConfirm))
            ProtectDatabase(m_dm, password);
    } catch (const DatabaseError& error) {
        MsgBox(error.message(), ApplicationTitle, StyleError);
    }
    // Whatever happened, the box shows the key the file has now.
    chkEncryptDatabase->setChecked(m_dm.DBSession.KeyedByPassword());
}

void TfrmOptions::RzBitBtn1Click()
{
    chkNumeric->setChecked(true);
    chkSpechar->setChecked(true);
    edtLength->setText(QStringLiteral("10"));
    chkAutoGenerate->setChecked(true);
    chkTestLogin->setChecked(true);
    chkChangePassword->setChecked(true);
    chkSendMail->setChecked(true);
    chkVerifyPassword->setChecked(true);
    chkDelUser->setChecked(true);
    chkGenerateNew->setChecked(true);
    spnParallelHosts->setValue(TOptionsFile::DefaultParallelHosts);
}

void TfrmOptions::btnSaveClick()
{
    const TOptionsFile& options = m_dm.OptionsFile;
    options.SetPassNumber(chkNumeric->isChecked());
    options.SetPassSpechar(chkSpechar->isChecked());
    bool ok = false;
    const int length = edtLength->text().trimmed().toInt(&ok);
    options.SetPassLength(ok ? length : 8);
    options.SetAutoGenerate(chkAutoGenerate->isChecked());
    options.SetChangePassword(chkChangePassword->isChecked());
    options.SetDeleteUser(chkDelUser->isChecked());
    options.SetSendMail(chkSendMail->isChecked());
    options.SetTestLogin(chkTestLogin->isChecked());
    options.SetVerifyPassword(chkVerifyPassword->isChecked());
    options.SetGenerateNew(chkGenerateNew->isChecked());
    options.SetParallelHosts(spnParallelHosts->value());
    options.SetVerifyAfterChange(chkVerifyAfterChange->isChecked());
    accept();
}

void TfrmOptions::btnCancelClick()
{
    reject();
}
