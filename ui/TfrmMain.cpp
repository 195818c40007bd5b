#include "ui/TfrmMain.h"

#include "batch/BatchLock.h"
#include "batch/ChangeIntent.h"

#include "batch/History.h"
#include "batch/TBatchOperations.h"
#include "core/DayNumber.h"
#include "core/FileExposure.h"
#include "core/ProgramFiles.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "ui/CommandVisibility.h"
#include "ui/GuiUiServices.h"
#include "ui/HelpTopics.h"
#include "ui/MainWindowBatch.h"
#include "ui/MainWindowWidgets.h"
#include "ui/Pictures.h"
#include "ui/ProgramPassword.h"
#include "ui/TCommandKeys.h"
#include "ui/THelpWindow.h"
#include "ui/THostNode.h"
#include "ui/THostTreeView.h"
#include "ui/TToolImageButton.h"
#include "ui/TUserListModel.h"
#include "ui/TUserListView.h"
#include "ui/TfrmAbout.h"
#include "ui/TfrmBase.h"
#include "ui/TfrmHostEdit.h"
#include "ui/TfrmOptions.h"
#include "ui/TfrmUserEdit.h"
#include "ui/UserListCommands.h"
#include "ui/UserListItem.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QUrl>
#include <QVBoxLayout>

TfrmMain* frmMain = nullptr;

TfrmMain::TfrmMain(const QString& executablePath, QWidget* parent)
    : TfrmMain(std::make_unique<TdmPublic>(executablePath), parent)
{
}

TfrmMain::TfrmMain(std::unique_ptr<TdmPublic> dm, QWidget* parent) : QMainWindow(parent), m_dm(std::move(dm))
{
    frmMain = this;
    setObjectName(QStringLiteral("frmMain"));
    m_operations = MakeBatchOperations(*m_dm);
    m_batchWindow = [this](TOperationType type, TOperationOptions options, const QList<TUser>& users) {
        return ShowBatchWindow(*m_dm, *m_operations, type, options, users, this);
    };
    TfrmBase::SetMainWindow(this);

    setFont(WindowFont());
    buildCommands();
    buildMenus();

    auto* client = new QWidget(this);
    auto* clientLayout = new QHBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);
    auto* strip = new QLabel(client);
    strip->setObjectName(QStringLiteral("imgLeftStrip"));
    strip->setFixedWidth(34);
    strip->setScaledContents(true);
    strip->setPixmap(Pictures::Render(QStringLiteral("left_strip"), QSize(34, 600)));
    clientLayout->addWidget(strip);

    auto* column = new QWidget(client);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(0);
    columnLayout->addWidget(buildToolbar());
    columnLayout->addWidget(buildWorkArea(), 1);
    auto* line = new QFrame(column);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedHeight(2);
    columnLayout->addWidget(line);
    buildStatusBar();
    columnLayout->addWidget(stBottom);
    clientLayout->addWidget(column, 1);
    setCentralWidget(client);

    m_commandKeys = new TCommandKeys(*this, m_commands);
    m_countTimer.setSingleShot(true);
    m_countTimer.setInterval(0);
    connect(&m_countTimer, &QTimer::timeout, this, &TfrmMain::showUserCount);

    sizeToWorkArea();
    try {
        LoadHosts();
        LoadUsers(nullptr);
    } catch (const std::exception& error) {
        // No event loop runs yet to report it; show it as any uncaught error and start with what was read.
        MsgBox(QString::fromStdString(error.what()), ApplicationTitle, StyleError);
    }
    setWindowTitle(QStringLiteral("Veltrane"));
    LoadColumnWidths();
    showUserCount();
}

TfrmMain::~TfrmMain()
{
    // Nothing may react to the nodes and rows going away.
    const QSignalBlocker treeBlocker(tvHosts);
    const QSignalBlocker listBlocker(lvUsers);
    const QSignalBlocker selectionBlocker(lvUsers->selectionModel());
    m_countTimer.stop();

    QList<THostNode*> nodes;
    for (QTreeWidgetItemIterator it(tvHosts); *it; ++it)
        nodes.append(static_cast<THostNode*>(*it));
    for (auto node = nodes.rbegin(); node != nodes.rend(); ++node)
        FreeHostNode(*node, true);
    ClearUserList();
    try {
        SaveColumnWidths();
    } catch (const std::exception& error) {
        // A settings file that cannot be written costs the widths, not the program's clean end.
        MsgBox(QString::fromStdString(error.what()), ApplicationTitle, StyleError);
    }

    if (auto* services = dynamic_cast<GuiUiServices*>(&Ui()))
        services->SetStatusPane(std::function<void(const QString&)>());
    if (TfrmBase::MainWindow() == this)
        TfrmBase::SetMainWindow(nullptr);
    if (frmMain == this)
        frmMain = nullptr;
}

namespace {

// The command table: object name, category, caption, shortcut, hint and handler of every command.
struct CommandSpec
{
    QAction* TfrmMain::*member;
    const char* name;
    const char* category;
    const char* caption;
    const char* key;
    const char* hint;
    void (TfrmMain::*handler)();
};

const CommandSpec CommandTable[] = {
    {&TfrmMain::actHostAdd, "actHostAdd", "Hosts", "Add Host", "Ctrl+H",
     "Creates a new host and adds it to the hosts listing.", &TfrmMain::actHostAddExecute},
    {&TfrmMain::actHostEdit, "actHostEdit", "Hosts", "Modify Host", "Ctrl+M", "Modifies the selected host.",
     &TfrmMain::actHostEditExecute},
    {&TfrmMain::actHostDel, "actHostDel", "Hosts", "Delete Host", "Ctrl+D", "Deletes the selection hosts.",
     &TfrmMain::actHostDelExecute},
    // Alt+N, not Alt+U: that is the Users menu's mnemonic, and a command key always wins over a menu.
    {&TfrmMain::actUserAdd, "actUserAdd", "Users", "Add User", "Alt+N",
     "Creates a new user and adds it to the users listing.", &TfrmMain::actUserAddExecute},
    {&TfrmMain::actModify, "actModify", "Users", "Modify User", "Alt+M", "Modifies the selected user.",
     &TfrmMain::actModifyExecute},
    {&TfrmMain::actUserDele, "actUserDele", "Users", "Delete User", "Alt+D", "Deletes the selection users.",
     &TfrmMain::actUserDeleExecute},
    {&TfrmMain::actSelectAll, "actSelectAll", "Users", "Select All", "Alt+A", "Selects all hosts.",
     &TfrmMain::actSelectAllExecute},
    {&TfrmMain::actClearSelect, "actClearSelect", "Users", "Clear Select", "Alt+C", "Clear all selected.",
     &TfrmMain::actClearSelectExecute},
    {&TfrmMain::actFindUser, "actFindUser", "Users", "&Find Users", "Ctrl+F", "Find Users", nullptr},
    {&TfrmMain::actNewPass, "actNewPass", "Password", "Generate new password ", "F3",
     "Generates new password for selection users.", &TfrmMain::actNewPassExecute},
    {&TfrmMain::actChangePwd, "actChangePwd", "Password", "Change password", "F5",
     "Changes passwords for the selection users.", &TfrmMain::actChangePwdExecute},
    {&TfrmMain::actSendMail, "actSendMail", "Password", "Send Notice Mail", "F6",
     "Send notice mail for selection users.", &TfrmMain::actSendMailExecute},
    {&TfrmMain::actTest, "actTest", "Password", "Test Login", "F2", "Tests login for the selection users.",
     &TfrmMain::actTestExecute},
    {&TfrmMain::actVerify, "actVerify", "Password", "Verify Password", "F7",
     "Finds which stored password the host accepts for the selection users.", &TfrmMain::actVerifyExecute},
    {&TfrmMain::actOption, "actOption", "Tools", "Options", "Ctrl+O", "Displays and sets options.",
     &TfrmMain::actOptionExecute},
    {&TfrmMain::actExit, "actExit", "File", "Exit", "", "Quit", &TfrmMain::actExitExecute},
    {&TfrmMain::actHelp, "actHelp", "Help", "Help &Topics", "F1", "Lists help topics", &TfrmMain::actHelpExecute},
    {&TfrmMain::actHomePage, "actHomePage", "Help", "Veltrane On the web", "", "To access the Veltrane web site.",
     &TfrmMain::actHomePageExecute},
    {&TfrmMain::actSupport, "actSupport", "Help", "&Send Feedback", "",
     "To send us your suggestions, ideas, and bug reports.", &TfrmMain::actSupportExecute},
    {&TfrmMain::actAbout, "actAbout", "Help", "About...", "F12",
     "Displays product information, version number, copyright and license information", &TfrmMain::actAboutExecute},
};

} // namespace

void TfrmMain::buildCommands()
{
    for (const CommandSpec& spec : CommandTable) {
        const QString hint = QString::fromUtf8(spec.hint);
        auto* command = new QAction(QString::fromUtf8(spec.caption), this);
        command->setObjectName(QLatin1String(spec.name));
        command->setProperty("category", QLatin1String(spec.category));
        command->setShortcut(QKeySequence(QLatin1String(spec.key)));
        // Never through Qt's shortcut map: TCommandKeys runs the keys, also of hidden commands.
        command->setShortcutContext(Qt::WidgetShortcut);
        command->setToolTip(hint);
        command->setStatusTip(hint);
        if (spec.handler)
            connect(command, &QAction::triggered, this, spec.handler);
        this->*spec.member = command;
        m_commands.append(command);
    }
    // Find Users does not exist yet: hidden, and disabled so that its key does nothing either.
    SetCommandVisible(actFindUser, false);
    actFindUser->setEnabled(false);
    // Hidden from menus and toolbar but enabled: its key still starts a notice-mail batch.
    SetCommandVisible(actSendMail, false);
}

void TfrmMain::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setFont(MenuFont());
    bar->setMinimumHeight(28);

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    AddMenuEntry(file, actExit, QStringLiteral("&Exit"));

    QMenu* hosts = bar->addMenu(QStringLiteral("&Hosts"));
    AddMenuEntry(hosts, actHostAdd, QStringLiteral("&Add Host"));
    AddMenuEntry(hosts, actHostEdit, QStringLiteral("Modify Host"));
    hosts->addSeparator();
    AddMenuEntry(hosts, actHostDel, QStringLiteral("&Delete Host"));

    QMenu* users = bar->addMenu(QStringLiteral("&Users"));
    AddMenuEntry(users, actSelectAll, QStringLiteral("&Select All"));
    AddMenuEntry(users, actClearSelect, QStringLiteral("&Clear Select"));
    users->addSeparator();
    AddMenuEntry(users, actUserAdd, QStringLiteral("&Add User"));
    AddMenuEntry(users, actModify, QStringLiteral("&Modify User"));
    AddMenuEntry(users, actUserDele, QStringLiteral("&Delete User"));
    users->addSeparator();
    AddMenuEntry(users, actFindUser, actFindUser->text());

    QMenu* password = bar->addMenu(QStringLiteral("&Password"));
    AddMenuEntry(password, actNewPass, QStringLiteral("Generate new password "));
    AddMenuEntry(password, actChangePwd, QStringLiteral("&Change password"));
    AddMenuEntry(password, actSendMail, actSendMail->text());
    password->addSeparator();
    AddMenuEntry(password, actTest, QStringLiteral("&Test Login"));
    AddMenuEntry(password, actVerify, QStringLiteral("&Verify Password"));

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    AddMenuEntry(tools, actOption, QStringLiteral("&Options"));

    QMenu* help = bar->addMenu(QStringLiteral("H&elp"));
    AddMenuEntry(help, actHelp, QStringLiteral("Help &Topics"));
    help->addSeparator();
    AddMenuEntry(help, actHomePage, QStringLiteral("Veltrane &On the web"));
    AddMenuEntry(help, actSupport, QStringLiteral("&Send Feedback"));
    help->addSeparator();
    AddMenuEntry(help, actAbout, QStringLiteral("&About..."));

    for (QMenu* menu : {file, hosts, users, password, tools, help})
        menu->setFont(MenuFont());
}

QWidget* TfrmMain::buildToolbar()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("tbMain"));
    bar->setFixedHeight(51);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 11, 4, 0);
    layout->setSpacing(0);
    const auto button = [&](QAction* command, const char* picture) {
        auto* added = new TToolImageButton(QLatin1String(picture), bar);
        added->setObjectName(QStringLiteral("btn") + command->objectName().mid(3));
        added->SetCommand(command);
        layout->addWidget(added);
    };
    const auto single = [&] {
        layout->addWidget(ToolbarSpacer(3, false, bar));
    };
    const auto groove = [&] {
        layout->addWidget(ToolbarSpacer(9, true, bar));
    };

    button(actHostAdd, "host_add");
    single();
    button(actHostEdit, "host_edit");
    single();
    button(actHostDel, "host_delete");
    groove();
    button(actUserAdd, "user_add");
    single();
    button(actModify, "user_edit");
    single();
    button(actUserDele, "user_delete");
    groove();
    button(actNewPass, "password_generate");
    single();
    button(actChangePwd, "password_change");
    single();
    RzToolButton10 = new TToolImageButton(QStringLiteral("password_change_mail"), bar);
    RzToolButton10->setObjectName(QStringLiteral("RzToolButton10"));
    RzToolButton10->setToolTip(QStringLiteral("Change password and send notice mail"));
    RzToolButton10->setVisible(false);
    connect(RzToolButton10, &QToolButton::clicked, this, &TfrmMain::RzToolButton10Click);
    layout->addWidget(RzToolButton10);
    single();
    button(actSendMail, "send_mail");
    single();
    button(actTest, "test_login");
    single();
    button(actVerify, "password_verify");
    groove();
    button(actOption, "options");
    single();
    button(actFindUser, "find_users");
    groove();
    button(actExit, "exit");
    layout->addStretch(1);
    return bar;
}

QWidget* TfrmMain::buildWorkArea()
{
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("spWork"));
    split->setChildrenCollapsible(false);

    auto* left = new QWidget(split);
    left->setAutoFillBackground(true);
    QPalette white = left->palette();
    white.setColor(QPalette::Window, Qt::white);
    left->setPalette(white);
    auto* leftLayout = new QHBoxLayout(left);
    leftLayout->setContentsMargins(6, 0, 0, 0);
    leftLayout->setSpacing(0);
    tvHosts = new THostTreeView(left);
    leftLayout->addWidget(tvHosts);
    connect(tvHosts, &QTreeWidget::itemSelectionChanged, this, [this] { tvHostsChange(tvHosts->SelectedNode()); });
    connect(tvHosts, &THostTreeView::treeDoubleClicked, this, &TfrmMain::tvHostsDblClick);

    auto* right = new QSplitter(Qt::Vertical, split);
    right->setObjectName(QStringLiteral("spRight"));
    right->setHandleWidth(3);
    right->setChildrenCollapsible(false);

    auto* upper = new QWidget(right);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->setSpacing(0);
    plTitle = HeaderPanel(QStringLiteral("plTitle"), QString(), upper);
    upperLayout->addWidget(plTitle);
    lvUsers = new TUserListView(upper);
    upperLayout->addWidget(lvUsers, 1);
    static const int layoutWidths[TUserListModel::ColumnCount] = {180, 100, 100, 100, 150, 120, 150};
    for (int column = 0; column < TUserListModel::ColumnCount; ++column)
        lvUsers->setColumnWidth(column, layoutWidths[column]);
    connect(lvUsers, &TUserListView::columnClicked, this, &TfrmMain::lvUsersColumnClick);
    connect(lvUsers, &TUserListView::columnRightClicked, this, &TfrmMain::lvUsersColumnRightClick);
    connect(lvUsers, &TUserListView::selectItem, this, &TfrmMain::lvUsersSelectItem);
    connect(lvUsers, &TUserListView::listDoubleClicked, this, &TfrmMain::lvUsersDblClick);
    connect(&lvUsers->Model(), &TUserListModel::checksChanged, this, &TfrmMain::lvUsersCheckStateChange);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&lvUsers->Model(), signal, &m_countTimer, qOverload<>(&QTimer::start));
    connect(&lvUsers->Model(), &QAbstractItemModel::modelReset, &m_countTimer, qOverload<>(&QTimer::start));

    pmUsers = new QMenu(this);
    pmUsers->setObjectName(QStringLiteral("pmUsers"));
    AddMenuEntry(pmUsers, actSelectAll, actSelectAll->text());
    AddMenuEntry(pmUsers, actClearSelect, actClearSelect->text());
    pmUsers->addSeparator();
    AddMenuEntry(pmUsers, actNewPass, actNewPass->text());
    AddMenuEntry(pmUsers, actChangePwd, actChangePwd->text());
    AddMenuEntry(pmUsers, actTest, actTest->text());
    connect(lvUsers, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& point) { pmUsers->popup(lvUsers->viewport()->mapToGlobal(point)); });

    auto* lower = new QWidget(right);
    lower->setObjectName(QStringLiteral("plMessage"));
    lower->setAutoFillBackground(true);
    lower->setPalette(white);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->setSpacing(0);
    plLogTitle = HeaderPanel(QStringLiteral("plLogTitle"), QStringLiteral(" Lastest return message"), lower);
    lowerLayout->addWidget(plLogTitle);
    auto* memoHolder = new QWidget(lower);
    auto* memoLayout = new QVBoxLayout(memoHolder);
    memoLayout->setContentsMargins(8, 8, 0, 0);
    moLog = new QPlainTextEdit(memoHolder);
    moLog->setObjectName(QStringLiteral("moLog"));
    moLog->setReadOnly(true);
    moLog->setFrameShape(QFrame::NoFrame);
    moLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    moLog->viewport()->installEventFilter(this);
    memoLayout->addWidget(moLog);
    lowerLayout->addWidget(memoHolder, 1);

    right->addWidget(upper);
    right->addWidget(lower);
    right->setStretchFactor(0, 1);
    right->setStretchFactor(1, 0);
    right->setSizes({400, 186});

    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({245, 800});
    return split;
}

void TfrmMain::buildStatusBar()
{
    stBottom = new QStatusBar(this);
    stBottom->setObjectName(QStringLiteral("stBottom"));
    stBottom->setFixedHeight(26);
    pnlStatus = new QLabel(stBottom);
    pnlStatus->setObjectName(QStringLiteral("pnlStatus"));
    stBottom->addWidget(pnlStatus, 1);

    auto* count = new QWidget(stBottom);
    count->setObjectName(QStringLiteral("stCount"));
    count->setFixedWidth(150);
    auto* countLayout = new QHBoxLayout(count);
    countLayout->setContentsMargins(0, 0, 0, 0);
    countLayout->setSpacing(0);
    stCountLabel = new QLabel(count);
    stCountLabel->setObjectName(QStringLiteral("stCountLabel"));
    stCountValue = new QLabel(QStringLiteral(" 0 Selected."), count);
    stCountValue->setObjectName(QStringLiteral("stCountValue"));
    for (QLabel* part : {stCountLabel, stCountValue}) {
        QPalette palette = part->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Highlight));
        part->setPalette(palette);
        countLayout->addWidget(part);
    }
    countLayout->addStretch(1);
    stBottom->addPermanentWidget(count);

    if (auto* services = dynamic_cast<GuiUiServices*>(&Ui())) {
        const QPointer<QLabel> pane = pnlStatus;
        services->SetStatusPane([pane](const QString& text) {
            if (pane) {
                pane->setText(text);
                pane->repaint();
            }
        });
    }
}

void TfrmMain::sizeToWorkArea()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    resize(area.size());
    // One pixel above the screen's top edge, wherever the work area starts.
    move(area.left(), -1);
}

void TfrmMain::fitFrameToWorkArea()
{
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                           frame.bottom() - inner.bottom());
    const QScreen* screen = this->screen();
    // No frame yet (or none at all, without a window manager): the work-area size stands as it is.
    // The frame's extents may arrive in steps, so each new set of margins is fitted once.
    if (margins.isNull() || margins == m_fittedMargins || !screen || isMaximized() || isFullScreen())
        return;
    m_fittedMargins = margins;
    const QRect area = screen->availableGeometry();
    resize(area.width() - margins.left() - margins.right(), area.height() - margins.top() - margins.bottom());
    move(area.topLeft());
}

bool TfrmMain::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        pnlStatus->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    const bool handled = QMainWindow::event(event);
    // A window manager adds its frame after the window is shown; then the whole frame, not just the
    // inner area, must fit the work area, or the status bar falls below the screen's edge.
    if (event->type() == QEvent::Show && !m_shownClock.isValid())
        m_shownClock.start();
    // Only while the window comes up: later sizes are the user's.
    if (isVisible() && m_shownClock.isValid() && m_shownClock.elapsed() < 3000 &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show))
        fitFrameToWorkArea();
    return handled;
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == moLog->viewport() && event->type() == QEvent::MouseButtonDblClick)
        moLogDblClick();
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::showUserCount()
{
    stCountLabel->setText(QString::asprintf(" %d Users,", lvUsers->Model().rowCount()));
}

// ---- Host tree ----

void TfrmMain::LoadHosts()
{
    const QSignalBlocker blocker(tvHosts);
    HomeNode = new THostNode;
    HomeNode->setText(0, QStringLiteral("Home"));
    HomeNode->setIcon(0, Pictures::SmallIcon(QStringLiteral("tree_home")));
    QFont bold = tvHosts->font();
    bold.setBold(true);
    HomeNode->setFont(0, bold);
    tvHosts->addTopLevelItem(HomeNode);

    auto query = m_dm->NewQuery();
    query->SelectSQL = QStringLiteral("select * from Hosts");
    if (m_dm->OpenQuery(*query)) {
        for (; !query->Eof(); query->Next()) {
            THost host;
            HostFromQuery(*query, host);
            AddHostNode(host, false);
        }
    }
    tvHosts->expandAll();
}

THostNode* TfrmMain::AddHostNode(const THost& host, bool select)
{
    auto* node = new THostNode;
    HomeNode->addChild(node);
    SetHostNode(node, host);
    HomeNode->setExpanded(true);
    if (select)
        tvHosts->setCurrentItem(node);
    return node;
}

void TfrmMain::SetHostNode(THostNode* node, const THost& host)
{
    node->setText(0, host.hAddress + QLatin1Char(':') + QString::number(host.hPort));
    node->setIcon(0, Pictures::SmallIcon(QStringLiteral("tree_host")));
    node->AttachHost(host);
}

void TfrmMain::FreeHostNode(THostNode* node, bool deleteNode)
{
    if (!node)
        return;
    node->ReleaseHost();
    if (!deleteNode)
        return;
    if (node == HomeNode)
        HomeNode = nullptr;
    delete node;
}

THost TfrmMain::HostOfNode(const THostNode* node) const
{
    THost host;
    if (!node || !node->parent() || !node->Host()) {
        host.hID = -1;
        return host;
    }
    return *node->Host();
}

void TfrmMain::EditHost(THostNode* node)
{
    THost host = HostOfNode(node);
    const bool adding = host.hID == -1;
    if (!adding) {
        // A batch may have changed the stored manager or root password since the tree was filled;
        // saving the node's copy would put the old one back.
        auto query = m_dm->NewQuery();
        query->SelectSQL = QStringLiteral("select * from Hosts where hID = ") + QString::number(host.hID);
        if (m_dm->OpenQuery(*query) && !query->Eof())
            HostFromQuery(*query, host);
    }
    if (adding) {
        ClearHost(host);
        host.hID = m_dm->NextHostId();
        host.hPort = 22;
        host.UseManager = -1;
    }
    if (!EditHostRecord(this, *m_dm, host, adding))
        return;
    if (adding) {
        // Stored first: a node whose row could not be stored would stand for a host that does not exist.
        if (m_dm->SaveHost(host, TSaveMode::Insert))
            AddHostNode(host, true);
        return;
    }
    if (!m_dm->SaveHost(host, TSaveMode::Update))
        return;
    SetHostNode(node, host);
    // The list must keep showing the selected host's users (Delete Host relies on it), also when the
    // edited node is not the selected one.
    tvHostsChange(tvHosts->SelectedNode());
}

void TfrmMain::tvHostsChange(const THostNode* node)
{
    LoadUsers(node);
}

void TfrmMain::tvHostsDblClick()
{
    actHostEditExecute();
}

void TfrmMain::actHostAddExecute()
{
    EditHost(nullptr);
}

void TfrmMain::actHostEditExecute()
{
    EditHost(tvHosts->CommandNode());
}

void TfrmMain::actHostDelExecute()
{
    THostNode* node = tvHosts->SelectedNode();
    if (!node || node == HomeNode)
        return;
    if (lvUsers->Model().rowCount() > 0) {
        MsgBox(QStringLiteral("Users exists, can not delete!"), QStringLiteral("Information"), StyleInformation);
        return;
    }
    if (!MsgBoxYes(QStringLiteral("Are you sure to delete this host?"), QStringLiteral("Confirm"), StyleConfirm))
        return;
    if (!m_dm->SaveHost(HostOfNode(node), TSaveMode::Delete))
        return; // the row is still there: so is its node
    QTreeWidgetItem* next = nullptr;
    {
        const QSignalBlocker blocker(tvHosts);
        FreeHostNode(node, true);
        next = tvHosts->currentItem();
        if (!next)
            next = HomeNode;
        tvHosts->setCurrentItem(next);
    }
    tvHostsChange(tvHosts->SelectedNode());
}

// ---- User list ----

void TfrmMain::LoadUsers(const THostNode* node)
{
    moLog->clear();
    const THost host = HostOfNode(node);
    QString title;
    if (host.hID == -1) {
        title = QStringLiteral("All users on all hosts ");
    } else {
        title = QStringLiteral("Users on [") + host.hAddress + QStringLiteral("] ");
        if (!host.hNote.isEmpty())
            title += QStringLiteral("- ") + host.hNote;
    }
    plTitle->setText(QLatin1Char(' ') + title);
    actUserAdd->setEnabled(host.hID != -1);
    actHostEdit->setEnabled(host.hID != -1);

    auto query = m_dm->NewQuery();
    query->SelectSQL = UserListStatement(host.hID);

    lvUsers->setUpdatesEnabled(false);
    // A row that cannot be read must not leave the list frozen.
    const auto thaw = qScopeGuard([this] { lvUsers->setUpdatesEnabled(true); });
    ClearUserList();
    if (m_dm->OpenQuery(*query)) {
        const TUserReader reader(*query);
        QList<TUser> users;
        for (; !query->Eof(); query->Next()) {
            TUser user;
            reader.Read(user);
            users.append(std::move(user));
        }
        // One insertion for all rows, the same as appending them one by one unselected.
        lvUsers->Model().AppendUsers(std::move(users), DayNumber::CurrentDateTime());
    }
}

int TfrmMain::AddUserItem(const TUser& user, bool select)
{
    TUserListModel& rows = lvUsers->Model();
    const int row = rows.AppendRow();
    UserToListItem(rows, row, user);
    if (select)
        lvUsers->SelectRow(row);
    return row;
}

void TfrmMain::ClearUserList()
{
    lvUsers->Model().Clear();
}

void TfrmMain::EditUser(int row)
{
    TUserListModel& rows = lvUsers->Model();
    if (row < 0 && !actUserAdd->isEnabled())
        return;
    const THost host = HostOfNode(tvHosts->SelectedNode());
    const bool adding = row < 0;
    TUser user;
    ListItemToUser(rows, row, user);
    // The row may be older than the stored passwords (a cron run changed them since); saving it
    // as it was loaded would put the old password back.
    if (!adding)
        RefreshPasswords(*m_dm, user);
    const QString storedNow = user.pwNow;
    if (adding) {
        user.hID = host.hID;
        user.HostIP = host.hAddress;
        user.HostPort = host.hPort;
    }
    const bool accepted =
        EditUserRecord(this, *m_dm, user, adding, [this](const TUser& stored) { AddUserItem(stored, false); });
    if (!accepted)
        return;
    if (adding) {
        user.RecTime = DayNumber::Now();
        // Listed only when stored, so the list never shows a user the database does not have.
        if (m_dm->SaveUser(user, TSaveMode::Insert))
            AddUserItem(user, false);
        return;
    }
    if (!m_dm->SaveUser(user, TSaveMode::Update))
        return;
    // A current password typed by hand settles an unconfirmed change and the passwords sent before:
    // the administrator knows.
    if ((user.HasOpenIntent() || !user.pwCandidates.isEmpty()) && user.pwNow != storedNow &&
        DropChangeIntent(*m_dm, user.uID)) {
        user.pwIntent.clear();
        user.pwIntentTime = DayNumber::None;
        user.pwCandidates.clear();
    }
    UserToListItem(rows, row, user);
    lvUsersSelectItem(row, true);
}

void TfrmMain::SetAllChecks(bool invert, bool value)
{
    lvUsers->Model().SetAllChecks(invert, value);
}

void TfrmMain::lvUsersColumnClick(int column)
{
    TUserListModel& rows = lvUsers->Model();
    rows.SortByColumn(column, SortDescending);
    SortDescending = !SortDescending;
    // Up after an ascending sort, down after a descending one.
    rows.SetSortMark(column, SortDescending);
}

void TfrmMain::lvUsersColumnRightClick(int column)
{
    if (column == 0)
        SetAllChecks(true, false);
}

void TfrmMain::lvUsersCheckStateChange()
{
    stCountValue->setText(QString::asprintf(" %d Selected.", lvUsers->Model().CheckedRows()));
}

void TfrmMain::lvUsersSelectItem(int row, bool)
{
    moLog->clear();
    const TUser* user = lvUsers->Model().UserAt(row);
    if (!user)
        return;
    // An unconfirmed change comes first: it decides which password the host may hold.
    const QString intent = user->HasOpenIntent() ? OpenIntentText(*user) : QString();
    if (!intent.isEmpty())
        Ui().setStatusText(intent);
    moLog->setPlainText(
        MemoText((intent.isEmpty() ? intent : intent + QStringLiteral("\r\n\r\n")) + UserHistoryText(*user)));
}

void TfrmMain::lvUsersDblClick()
{
    actModifyExecute();
}

void TfrmMain::moLogDblClick()
{
    Ui().showRunLog(moLog->toPlainText(), QStringLiteral("Lastest Return Message"));
}

void TfrmMain::actUserAddExecute()
{
    EditUser(-1);
}

void TfrmMain::actModifyExecute()
{
    EditUser(lvUsers->SelectedRow());
}

int TfrmMain::checkedOrSelected()
{
    TUserListModel& rows = lvUsers->Model();
    const int count = CheckedCount(rows);
    if (count != -1)
        return count;
    const int selected = lvUsers->SelectedRow();
    if (selected < 0)
        return -1;
    rows.SetChecked(selected, true);
    return 1;
}

void TfrmMain::reloadAfterRollback(const QString& message)
{
    // The rows already handled show changes the database no longer has: show the database again.
    LoadUsers(tvHosts->SelectedNode());
    MsgBox(message, QStringLiteral("Error"), StyleError);
}

void TfrmMain::actUserDeleExecute()
{
    const int count = checkedOrSelected();
    if (count == -1)
        return;
    if (count > 1 && m_dm->OptionsFile.DeleteUser() &&
        !MsgBoxYes(QStringLiteral("Are you sure to delete these users? "), QStringLiteral("Confirm"), StyleConfirm))
        return;
    const QString error = DeleteCheckedUsers(*m_dm, lvUsers->Model(), [this] { moLog->clear(); });
    if (!error.isEmpty())
        reloadAfterRollback(error);
}

void TfrmMain::actNewPassExecute()
{
    const int count = checkedOrSelected();
    if (count == -1)
        return;
    if (count > 1 && m_dm->OptionsFile.GenerateNew() &&
        !MsgBoxYes(QStringLiteral("Are you sure to generate password? "), QStringLiteral("Confirm"), StyleConfirm))
        return;
    const std::unique_ptr<TBatchLock> lock = takeBatchLock(QStringLiteral("generate"));
    if (!lock)
        return;
    QStringList skipped;
    const QString error = GenerateNewPasswords(*m_dm, lvUsers->Model(), &skipped);
    if (!error.isEmpty()) {
        reloadAfterRollback(error);
        return;
    }
    if (!skipped.isEmpty())
        MsgBox(QStringLiteral("These users keep their pending password: a change to it was started and never "
                              "confirmed, so the host may already use it.\r\n\r\n") +
                   skipped.join(QStringLiteral("\r\n")) +
                   QStringLiteral("\r\n\r\nRun Verify Password (F7) on them first."),
               QStringLiteral("Information"), StyleInformation);
}

std::unique_ptr<TBatchLock> TfrmMain::takeBatchLock(const QString& what)
{
    try {
        return std::make_unique<TBatchLock>(m_dm->DBSession.FileName(), QStringLiteral("Veltrane ") + what);
    } catch (const BatchLockError& error) {
        MsgBox(error.message(), QStringLiteral("Error"), StyleError);
        return nullptr;
    }
}

void TfrmMain::actSelectAllExecute()
{
    SetAllChecks(false, true);
}

void TfrmMain::actClearSelectExecute()
{
    SetAllChecks(false, false);
}

// ---- Batch commands ----

void TfrmMain::runOperation(TOperationType type, TOperationOptions options)
{
    // Changes and verifications hold the database's batch lock while their window runs.
    std::unique_ptr<TBatchLock> lock;
    if (type == otChangePassword || type == otVerifyPassword) {
        lock = takeBatchLock(OperationCaption(type, options).trimmed());
        if (!lock)
            return;
    }
    RunOperation(*m_dm, type, *lvUsers, options, m_batchWindow);
}

void TfrmMain::actVerifyExecute()
{
    runOperation(otVerifyPassword, 0);
}

void TfrmMain::WarnIfDatabaseExposed()
{
    QStringList warnings = ProgramFiles::Warnings(m_dm->DBSession.FileName(), m_dm->OptionsFile);
    if (const QString warning = FileExposureWarning(m_dm->DBSession.FileName()); !warning.isEmpty())
        warnings.prepend(warning);
    if (!warnings.isEmpty())
        pnlStatus->setText(warnings.join(QLatin1Char(' ')));
}

void TfrmMain::OfferToVerifyUnconfirmedChanges()
{
    // Only while no other process runs a change batch: its changes in flight are not left over.
    const std::unique_ptr<TBatchLock> probe = [this]() -> std::unique_ptr<TBatchLock> {
        try {
            return std::make_unique<TBatchLock>(m_dm->DBSession.FileName(), QStringLiteral("Veltrane start-up"));
        } catch (const BatchLockError&) {
            return nullptr;
        }
    }();
    if (!probe)
        return;
    const QList<TUser> users = UsersWithOpenIntent(*m_dm);
    if (users.isEmpty())
        return;
    QStringList names;
    for (const TUser& user : users)
        names << QStringLiteral("  ") + user.LoginName + QStringLiteral(" on ") + user.HostIP + QLatin1Char(':') +
                     QString::number(user.HostPort);
    if (!MsgBoxYes(QStringLiteral("A password change was started for these users and its outcome was never saved, "
                                  "so either the old or the new password may be the one in use:\r\n\r\n") +
                       names.join(QStringLiteral("\r\n")) +
                       QStringLiteral("\r\n\r\nVerify them now? Veltrane logs in with both passwords and keeps "
                                      "the one the host accepts."),
                   QStringLiteral("Confirm"), StyleConfirm))
        return;
    m_batchWindow(otVerifyPassword, 0, users);
    // The users may sit under any host: reload what the list shows from the database.
    LoadUsers(tvHosts->SelectedNode());
}

void TfrmMain::actTestExecute()
{
    runOperation(otTestLogin, 0);
}

void TfrmMain::actChangePwdExecute()
{
    runOperation(otChangePassword, 0);
}

void TfrmMain::actSendMailExecute()
{
    runOperation(otSendMail, 0);
}

void TfrmMain::RzToolButton10Click()
{
    runOperation(otChangePassword, ooSendNoticeMail);
}

// ---- Frame commands ----

void TfrmMain::actOptionExecute()
{
    TfrmOptions options(*m_dm, this);
    TfrmBase::ExecModal(options);
}

void TfrmMain::actExitExecute()
{
    close();
}

void TfrmMain::actHelpExecute()
{
    THelpWindow::Open(*this, HelpTopics::StartPage);
}

void TfrmMain::actHomePageExecute()
{
    OpenExternal(QUrl(m_dm->OptionsFile.HomePage()));
}

void TfrmMain::actSupportExecute()
{
    OpenExternal(QUrl(QStringLiteral("mailto:") + m_dm->OptionsFile.FeedbackAddress()));
}

void TfrmMain::actAboutExecute()
{
    TfrmAbout about(this);
    about.setWindowTitle(QStringLiteral("About "));
    about.lbTitle->setText(QStringLiteral("Veltrane"));
    about.lbVersion->setText(QStringLiteral("Version ") + TfrmAbout::Version);
    TfrmBase::ExecModal(about);
}

void TfrmMain::LoadColumnWidths()
{
    for (int column = 0; column < TUserListModel::ColumnCount; ++column)
        lvUsers->setColumnWidth(column, m_dm->OptionsFile.ColumnWidth(column));
}

void TfrmMain::SaveColumnWidths()
{
    for (int column = 0; column < TUserListModel::ColumnCount; ++column)
        m_dm->OptionsFile.SetColumnWidth(column, lvUsers->columnWidth(column));
}
