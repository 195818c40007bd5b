#include "batch/TfrmOperation.h"

#include "batch/SaveUserOutcome.h"
#include "batch/TfrmOperationPictures.h"
#include "batch/TfrmOperationProgressBar.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "ui/TfrmBase.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr int ClientWidth = 606;
constexpr int ClientHeight = 421;
constexpr int LoginColumnWidth = 150;
constexpr int ResultColumnWidth = 419;

QFont windowFont(const QFont& fallback)
{
    QFont font = fallback;
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma")))
        font.setFamily(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    return font;
}

} // namespace

TfrmOperation::TfrmOperation(TdmPublic& dm, TBatchOperations& operations, TOperationType type,
                             TOperationOptions options, QList<TUser> users, QWidget* parent)
    : QDialog(parent, TfrmBase::DialogWindowFlags()), m_dm(dm),
      m_runner(dm, operations, type, options, std::move(users))
{
    setObjectName(QStringLiteral("frmOperation"));
    setFont(windowFont(font()));
    setFixedSize(ClientWidth, ClientHeight);
    setModal(true);
    buildControls();
    setWindowTitle(OperationCaption());
    lbTitle->setText(OperationCaption());
    lvList->setHorizontalHeaderLabels({QStringLiteral("Login Name"), OperationCaption()});
    fillList();
    m_runner.SetObserver(this);
    m_runner.SetParallelHosts(dm.OptionsFile.ParallelHosts());
    m_runner.SetVerifyAfterChange(dm.OptionsFile.VerifyAfterChange());
    m_runner.SetFinishedHandler([this] { batchEnded(); });
    m_elapsedTicker = new QTimer(this);
    m_elapsedTicker->setInterval(200);
    connect(m_elapsedTicker, &QTimer::timeout, this, [this] { showRunningRows(); });
    SetCloseEnabled(false);
    btnStop->show();
    btnLog->hide();
    btnClose->setEnabled(false);
}

TfrmOperation::~TfrmOperation() = default;

void TfrmOperation::buildControls()
{
    aPlTop = new QFrame(this);
    aPlTop->setObjectName(QStringLiteral("aPlTop"));
    aPlTop->setGeometry(0, 0, ClientWidth, 51);
    aPlTop->setAutoFillBackground(true);
    QPalette white = aPlTop->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    aPlTop->setPalette(white);

    Image1 = new QLabel(aPlTop);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(10, 9, 32, 32);
    Image1->setPixmap(GearsPicture());

    lbTitle = new QLabel(aPlTop);
    lbTitle->setObjectName(QStringLiteral("lbTitle"));
    lbTitle->setGeometry(52, 0, ClientWidth - 60, 51);
    QFont bold = font();
    bold.setBold(true);
    lbTitle->setFont(bold);

    plClient = new QFrame(this);
    plClient->setObjectName(QStringLiteral("plClient"));
    plClient->setGeometry(0, 51, ClientWidth, 326);
    plClient->setStyleSheet(QStringLiteral("#plClient { border-top: 2px groove palette(mid); "
                                           "border-bottom: 2px groove palette(mid); }"));
    auto* clientLayout = new QVBoxLayout(plClient);
    clientLayout->setContentsMargins(8, 8, 8, 8);
    clientLayout->setSpacing(0);

    lvList = new QTableWidget(0, 2, plClient);
    lvList->setObjectName(QStringLiteral("lvList"));
    lvList->setShowGrid(true);
    lvList->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvList->setSelectionMode(QAbstractItemView::SingleSelection);
    lvList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A result (the host's reason can run to 300 characters) wraps onto as many lines as it needs
    // instead of ending in "…"; the row grows to fit it.
    lvList->setWordWrap(true);
    lvList->setTextElideMode(Qt::ElideNone);
    lvList->setIconSize(QSize(StatePictureSize, StatePictureSize));
    lvList->verticalHeader()->hide();
    lvList->verticalHeader()->setDefaultSectionSize(StatePictureSize + 2);
    lvList->verticalHeader()->setMinimumSectionSize(StatePictureSize + 2);
    lvList->horizontalHeader()->setSectionsClickable(false);
    lvList->horizontalHeader()->setHighlightSections(false);
    lvList->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvList->setColumnWidth(0, LoginColumnWidth);
    lvList->setColumnWidth(1, ResultColumnWidth);
    // The running row stays visibly selected while the focus is on the Stop button.
    QPalette listPalette = lvList->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        listPalette.setColor(QPalette::Inactive, role, listPalette.color(QPalette::Active, role));
    lvList->setPalette(listPalette);
    connect(lvList, &QTableWidget::cellDoubleClicked, this, [this] { lvListDblClick(); });
    clientLayout->addWidget(lvList);

    plReportArea = new QFrame(plClient);
    plReportArea->setObjectName(QStringLiteral("plReportArea"));
    plReportArea->setFixedHeight(35);
    auto* reportLayout = new QVBoxLayout(plReportArea);
    reportLayout->setContentsMargins(0, 0, 0, 0);
    reportLayout->setSpacing(0);
    plStatus = new QLabel(QStringLiteral(" Connect to "), plReportArea);
    plStatus->setObjectName(QStringLiteral("plStatus"));
    plStatus->setFixedHeight(20);
    plStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    reportLayout->addWidget(plStatus);
    pbDoing = new TfrmOperationProgressBar(plReportArea);
    pbDoing->setObjectName(QStringLiteral("pbDoing"));
    pbDoing->setFixedHeight(15);
    pbDoing->setTextVisible(false);
    pbDoing->setRange(0, 0);
    reportLayout->addWidget(pbDoing);
    clientLayout->addWidget(plReportArea);

    const int buttonTop = 51 + 326 + 10;
    btnStop = new QPushButton(QStringLiteral("&Stop"), this);
    btnStop->setObjectName(QStringLiteral("btnStop"));
    btnStop->setGeometry(ClientWidth - 8 - 75 - 8 - 75, buttonTop, 75, 25);
    connect(btnStop, &QPushButton::clicked, this, [this] { btnStopClick(); });
    btnLog = new QPushButton(QStringLiteral("&Log"), this);
    btnLog->setObjectName(QStringLiteral("btnLog"));
    btnLog->setGeometry(btnStop->geometry());
    connect(btnLog, &QPushButton::clicked, this, [this] { btnLogClick(); });
    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(ClientWidth - 8 - 75, buttonTop, 75, 25);
    connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
    for (QPushButton* button : {btnStop, btnLog, btnClose})
        button->setAutoDefault(false);
}

void TfrmOperation::fillList()
{
    const QList<TUser>& users = m_runner.Users();
    lvList->setRowCount(static_cast<int>(users.size()));
    for (int row = 0; row < users.size(); ++row) {
        auto* login = new QTableWidgetItem(users[row].LoginName);
        login->setData(Qt::UserRole, row);
        lvList->setItem(row, 0, login);
        lvList->setItem(row, 1, new QTableWidgetItem(QString()));
        setRowState(row, TRowState::None);
    }
    pbDoing->setRange(0, static_cast<int>(users.size()));
    pbDoing->setValue(0);
}

void TfrmOperation::setRowState(int row, TRowState state)
{
    QTableWidgetItem* item = lvList->item(row, 0);
    item->setIcon(QIcon(StatePicture(state)));
    item->setData(Qt::UserRole + 1, static_cast<int>(state));
}

void TfrmOperation::setResultText(int row, const QString& text)
{
    QTableWidgetItem* item = lvList->item(row, 1);
    if (item->text() == text)
        return;
    item->setText(text);
    item->setToolTip(text);
    lvList->resizeRowToContents(row);
}

void TfrmOperation::repaintRow(int row)
{
    const QRect area =
        lvList->visualRect(lvList->model()->index(row, 0)).united(lvList->visualRect(lvList->model()->index(row, 1)));
    lvList->viewport()->repaint(area);
}

void TfrmOperation::showEvent(QShowEvent* event)
{
    if (!m_activated)
        TfrmBase::CentreOverMainWindow(*this);
    QDialog::showEvent(event);
    if (m_activated)
        return;
    m_activated = true;
    // Start after the window has appeared, from the event loop of its modal run.
    QTimer::singleShot(0, this, [this] { RunBatch(); });
}

void TfrmOperation::RunBatch()
{
    if (m_runner.Started())
        return;
    m_elapsedTicker->start();
    m_runner.Start();
}

void TfrmOperation::batchEnded()
{
    m_elapsedTicker->stop();
    m_running.clear();
    const std::exception_ptr failure = m_runner.Error();
    if (!failure)
        return;
    // Shown once the window has taken its finished state, from the event loop, not from inside the runner.
    QTimer::singleShot(0, this, [failure] {
        try {
            std::rethrow_exception(failure);
        } catch (const UnsavedOutcomeError& error) {
            QString message = error.message();
            if (error.passwordChanged())
                message += QStringLiteral(" Until the program closes, the user list keeps the new password: once "
                                          "the database can be written again, open the user with Modify User and "
                                          "press OK to store it.");
            MsgBox(message, ApplicationTitle, StyleError);
        } catch (const std::exception& error) {
            MsgBox(QString::fromUtf8(error.what()), ApplicationTitle, StyleError);
        }
    });
}

void TfrmOperation::ShowProgress(const QString& message)
{
    m_runner.ShowProgress(message);
}

void TfrmOperation::SetCloseEnabled(bool enabled)
{
    m_closeEnabled = enabled;
    const Qt::WindowFlags flags =
        enabled ? windowFlags() | Qt::WindowCloseButtonHint : windowFlags() & ~Qt::WindowCloseButtonHint;
    // setWindowFlags would recreate a shown window, hiding it and ending its modal loop; a created
    // window takes the new close box through its platform window instead.
    if (QWindow* window = windowHandle()) {
        overrideWindowFlags(flags);
        window->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

void TfrmOperation::btnStopClick()
{
    m_runner.Stop();
}

void TfrmOperation::btnCloseClick()
{
    close();
}

void TfrmOperation::btnLogClick()
{
    Ui().showRunLog(m_runner.RunLogText(), windowTitle() + QStringLiteral("- Log"));
}

void TfrmOperation::lvListDblClick()
{
    // While the batch runs the list only shows progress.
    if (!btnStop->isHidden() || lvList->currentRow() < 0)
        return;
    const int index = lvList->item(lvList->currentRow(), 0)->data(Qt::UserRole).toInt();
    Ui().showRunLog(m_runner.RowHistoryText(index), OperationCaption() + QStringLiteral("- Log"));
}

void TfrmOperation::reject()
{
    if (m_closeEnabled)
        QDialog::reject();
    else
        btnStopClick();
}

void TfrmOperation::closeEvent(QCloseEvent* event)
{
    if (!m_closeEnabled) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmOperation::BatchStarted(int total)
{
    pbDoing->setRange(0, total);
    pbDoing->setValue(0);
}

void TfrmOperation::RowStarted(int row)
{
    m_running[row].clock.start();
    setRowState(row, TRowState::Running);
    lvList->selectRow(row);
    lvList->scrollToItem(lvList->item(row, 0));
    repaintRow(row);
}

void TfrmOperation::RowProgress(int row, const QString& message)
{
    const auto running = m_running.find(row);
    if (running != m_running.end())
        running->message = message;
}

void TfrmOperation::showRunningRows()
{
    for (auto running = m_running.cbegin(); running != m_running.cend(); ++running)
        setResultText(running.key(),
                      QString::asprintf("[%.1fs]  ", static_cast<double>(running->clock.elapsed()) / 1000.0) +
                          running->message);
}

void TfrmOperation::RowFinished(int row, TRowState state, const QString& text, int done)
{
    m_running.remove(row);
    setResultText(row, text);
    setRowState(row, state);
    repaintRow(row);
    pbDoing->setValue(done);
}

void TfrmOperation::ProgressShown(const QString& title, const QString& status)
{
    lbTitle->setText(title);
    plStatus->setText(status);
    lbTitle->repaint();
    plStatus->repaint();
}

void TfrmOperation::BatchFinished(const QString& title)
{
    btnStop->hide();
    btnLog->show();
    btnClose->setEnabled(true);
    SetCloseEnabled(true);
    lbTitle->setText(title);
    lbTitle->repaint();
}
