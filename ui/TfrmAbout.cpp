#include "ui/TfrmAbout.h"

#include "ui/Pictures.h"
#include "ui/TfrmBase.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent), m_background(Pictures::Render(QStringLiteral("about_background"), QSize(470, 312)))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowFlags(TfrmBase::DialogWindowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(470, 312);

    lbHeading = new QLabel(QStringLiteral("Product Information:"), this);
    lbHeading->setObjectName(QStringLiteral("lbHeading"));
    QFont bold = lbHeading->font();
    bold.setBold(true);
    lbHeading->setFont(bold);
    lbHeading->setGeometry(24, 84, 420, 20);

    lbTitle = new QLabel(this);
    lbTitle->setObjectName(QStringLiteral("lbTitle"));
    QFont title = bold;
    title.setPointSize(title.pointSize() + 6);
    lbTitle->setFont(title);
    lbTitle->setGeometry(40, 112, 400, 34);

    lbVersion = new QLabel(this);
    lbVersion->setObjectName(QStringLiteral("lbVersion"));
    lbVersion->setGeometry(40, 150, 400, 20);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(12, 262, 446, 2);

    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(470 - 12 - 75, 312 - 10 - 25, 75, 25);
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), m_background);
}

void TfrmAbout::showEvent(QShowEvent* event)
{
    // Centred on the screen, not on the main window.
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
