#pragma once

#include "core/Records.h"
#include "engine/TActionStaus.h"
#include "ui/OperationDispatch.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMargins>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class TBatchOperations;
class TCommandKeys;
class THostNode;
class THostTreeView;
class TToolImageButton;
class TUserListView;
class TdmPublic;

/// The main window: the host tree on the left, the user list and the return-message memo on the
/// right, menus, toolbar, pop-up menu and status bar. It owns the data module, created first of
/// all, and the records attached to its tree nodes and list rows.
class TBatchLock;
class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    /// Creates the data module for the program at executablePath (Options.ini and the database
    /// beside it), builds the window, fills the host tree and the user list, and restores the
    /// column widths. The window stays hidden.
    explicit TfrmMain(const QString& executablePath, QWidget* parent = nullptr);
    /// The same on a data module already made: at start-up a database under the user's own password
    /// is opened by the login dialog before the window reads it.
    explicit TfrmMain(std::unique_ptr<TdmPublic> dm, QWidget* parent = nullptr);
    /// Frees the records of the tree and the list and writes the column widths; the data module
    /// goes last.
    ~TfrmMain() override;

    TdmPublic& dm() const { return *m_dm; }

    // Commands, in the order of the command table.
    QAction* actHostAdd = nullptr;
    QAction* actHostEdit = nullptr;
    QAction* actHostDel = nullptr;
    QAction* actUserAdd = nullptr;
    QAction* actModify = nullptr;
    QAction* actUserDele = nullptr;
    QAction* actSelectAll = nullptr;
    QAction* actClearSelect = nullptr;
    QAction* actFindUser = nullptr;
    QAction* actNewPass = nullptr;
    QAction* actChangePwd = nullptr;
    QAction* actSendMail = nullptr;
    QAction* actTest = nullptr;
    QAction* actVerify = nullptr;
    QAction* actOption = nullptr;
    QAction* actExit = nullptr;
    QAction* actHelp = nullptr;
    QAction* actHomePage = nullptr;
    QAction* actSupport = nullptr;
    QAction* actAbout = nullptr;
    /// Every command, in the order of the command table.
    QList<QAction*> Commands() const { return m_commands; }

    // Controls.
    THostTreeView* tvHosts = nullptr;
    TUserListView* lvUsers = nullptr;
    QPlainTextEdit* moLog = nullptr;
    QLabel* plTitle = nullptr;
    QLabel* plLogTitle = nullptr;
    QStatusBar* stBottom = nullptr;
    QLabel* pnlStatus = nullptr;
    QLabel* stCountLabel = nullptr;
    QLabel* stCountValue = nullptr;
    QMenu* pmUsers = nullptr;
    /// The hidden toolbar button that would change passwords and send the notice mail.
    TToolImageButton* RzToolButton10 = nullptr;

    /// The root node "Home" of the host tree.
    THostNode* HomeNode = nullptr;
    /// Direction of the user list's next sort, shared by all columns.
    bool SortDescending = false;

    // Host tree.
    /// Builds the whole tree from the database, fully expanded, with nothing selected.
    void LoadHosts();
    /// Appends a host node under the root, filled from host; selects it when select is true.
    THostNode* AddHostNode(const THost& host, bool select);
    /// Writes host into node: text "address:port", pictures, and a fresh copy of the record.
    void SetHostNode(THostNode* node, const THost& host);
    /// Releases the node's record and, when deleteNode is true, deletes the node.
    void FreeHostNode(THostNode* node, bool deleteNode);
    /// A copy of the node's host; a cleared record with hID -1 for no node or the root.
    THost HostOfNode(const THostNode* node) const;
    /// Adds a host (no node, or the root) or modifies the node's host through the host editor.
    void EditHost(THostNode* node);

    // User list.
    /// Reloads the title, the enabling of Add User and Modify Host, and every row, for the node's
    /// host or, for no node or the root, for all hosts.
    void LoadUsers(const THostNode* node);
    /// Appends a row bound to user; selects it when select is true. Returns the row.
    int AddUserItem(const TUser& user, bool select);
    /// Frees every row's record and deletes every row.
    void ClearUserList();
    /// Adds a user (row -1) or modifies the row's user through the user editor.
    void EditUser(int row);
    /// Sets every check box to value, or inverts each when invert is true.
    void SetAllChecks(bool invert, bool value);

    // Event handlers and commands of the tree and the list.
    void tvHostsChange(const THostNode* node);
    void tvHostsDblClick();
    void actHostAddExecute();
    void actHostEditExecute();
    void actHostDelExecute();
    void lvUsersColumnClick(int column);
    void lvUsersColumnRightClick(int column);
    void lvUsersCheckStateChange();
    void lvUsersSelectItem(int row, bool selected);
    void lvUsersDblClick();
    void moLogDblClick();
    void actUserAddExecute();
    void actModifyExecute();
    void actUserDeleExecute();
    void actNewPassExecute();
    void actSelectAllExecute();
    void actClearSelectExecute();

    // Batch commands.
    void actTestExecute();
    void actChangePwdExecute();
    void actSendMailExecute();
    void actVerifyExecute();
    void RzToolButton10Click();

    /// At start: when users carry a change that an interrupted run never confirmed (and no other
    /// process runs a change batch), asks once, listing them, whether to verify them now.
    void OfferToVerifyUnconfirmedChanges();
    /// At start: the status line says so when other users of the computer can read the database, when
    /// the folder of the database or of the settings is not safe, or when the settings file is not read.
    void WarnIfDatabaseExposed();

    // Frame commands.
    void actOptionExecute();
    void actExitExecute();
    void actHelpExecute();
    void actHomePageExecute();
    void actSupportExecute();
    void actAboutExecute();

    /// Restores the user list's column widths from the settings file (120 each by default).
    void LoadColumnWidths();
    /// Writes the user list's column widths into the settings file.
    void SaveColumnWidths();

    /// Replaces the runner window the batch commands open (tests drive their own).
    void SetBatchWindow(TBatchWindow window) { m_batchWindow = std::move(window); }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildCommands();
    void buildMenus();
    QWidget* buildToolbar();
    QWidget* buildWorkArea();
    void buildStatusBar();
    void sizeToWorkArea();
    /// Once a window manager has framed the window: sizes it so that the frame fits the work area.
    void fitFrameToWorkArea();
    void showUserCount();
    void runOperation(TOperationType type, TOperationOptions options);
    /// The number of checked rows; with none, the selected row is checked and counts as 1; -1 when
    /// there is neither.
    int checkedOrSelected();
    void reloadAfterRollback(const QString& message);
    /// The database's batch lock for what; null (after an error box naming the holder) when another
    /// process holds it.
    std::unique_ptr<TBatchLock> takeBatchLock(const QString& what);

    // The data module comes first: it must exist before anything else is built and go last.
    std::unique_ptr<TdmPublic> m_dm;
    std::unique_ptr<TBatchOperations> m_operations;
    TBatchWindow m_batchWindow;
    QList<QAction*> m_commands;
    TCommandKeys* m_commandKeys = nullptr;
    QTimer m_countTimer;
    QMargins m_fittedMargins;
    QElapsedTimer m_shownClock;
};

/// The main window of the process, or nullptr outside its lifetime.
extern TfrmMain* frmMain;
