#include "batch/TfrmRunLog.h"

#include "core/VisibleText.h"

#include "ui/DrawnIcons.h"

#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
constexpr int kClientWidth = 431;
constexpr int kClientHeight = 368;
constexpr int kPanelHeight = 326;
constexpr int kInnerBorder = 8;
constexpr int kGrooveHeight = 2;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 8;

// Every line break becomes LF; a lone CR counts as a break of its own, as CR LF does.
QString WithLfBreaks(const QString& text)
{
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return lines;
}
} // namespace

TfrmRunLog::TfrmRunLog(QWidget* parent) : TfrmBase(parent)
{
    setObjectName(QStringLiteral("frmRunLog"));
    setWindowTitle(QStringLiteral("Last Return Message"));
    SetClientSize(kClientWidth, kClientHeight);

    plClient = new QFrame(this);
    plClient->setObjectName(QStringLiteral("plClient"));
    plClient->setGeometry(0, 0, kClientWidth, kPanelHeight);

    auto* groove = new QFrame(plClient);
    groove->setFrameShape(QFrame::HLine);
    groove->setFrameShadow(QFrame::Sunken);
    groove->setGeometry(0, kPanelHeight - kGrooveHeight, kClientWidth, kGrooveHeight);

    moInfo = new QPlainTextEdit(plClient);
    moInfo->setObjectName(QStringLiteral("moInfo"));
    moInfo->setReadOnly(true);
    moInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    moInfo->setGeometry(kInnerBorder, kInnerBorder, kClientWidth - 2 * kInnerBorder,
                        kPanelHeight - kGrooveHeight - 2 * kInnerBorder);

    const int buttonTop = kPanelHeight + (kClientHeight - kPanelHeight - kButtonHeight) / 2;
    RzBitBtn2 = new QPushButton(QStringLiteral("&Close"), this);
    RzBitBtn2->setObjectName(QStringLiteral("RzBitBtn2"));
    RzBitBtn2->setGeometry(kClientWidth - kButtonGap - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight);
    RzBitBtn2->setDefault(true);

    RzBitBtn1 = new QPushButton(CopyButtonIcon(), QStringLiteral("C&opy"), this);
    RzBitBtn1->setObjectName(QStringLiteral("RzBitBtn1"));
    RzBitBtn1->setGeometry(RzBitBtn2->x() - kButtonGap - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight);

    connect(RzBitBtn1, &QPushButton::clicked, this, &TfrmRunLog::RzBitBtn1Click);
    connect(RzBitBtn2, &QPushButton::clicked, this, &TfrmRunLog::RzBitBtn2Click);
}

void TfrmRunLog::SetText(const QString& text)
{
    // Text kept before host output was cleaned may still hold escapes: shown, never obeyed.
    m_lines = WithLfBreaks(VisibleControlCharacters(text));
    moInfo->setPlainText(m_lines);
}

QString TfrmRunLog::TextWithCrLf() const
{
    QString text = m_lines;
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

void TfrmRunLog::RzBitBtn1Click()
{
    moInfo->setFocus();
    moInfo->selectAll();
    // The stored text, not the document's: the document would turn special spaces into plain ones.
    QGuiApplication::clipboard()->setText(TextWithCrLf());
}

void TfrmRunLog::RzBitBtn2Click()
{
    close();
}

void ShowRunLog(const QString& text, const QString& caption)
{
    TfrmRunLog viewer;
    viewer.setWindowTitle(caption);
    viewer.SetText(text);
    viewer.ShowModal();
}
