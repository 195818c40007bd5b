#pragma once

// Helpers of the main-window tests: a throw-away installation with hosts and users, the real main
// window on it, and drivers for the modal dialogs and message boxes it opens.

#include "core/DayNumber.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/support/TestEnvironment.h"
#include "ui/GuiUiServices.h"
#include "ui/TUserListModel.h"
#include "ui/TUserListView.h"
#include "ui/TfrmBase.h"
#include "ui/TfrmMain.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include <functional>
#include <memory>

namespace MainWindowTest {

/// A host or user row to put into the database before the window opens.
struct SeedHost
{
    QString address;
    int port = 22;
    QString note;
};

struct SeedUser
{
    SeedUser(int host, const QString& name, int validPeriod = -1, double changed = DayNumber::None)
        : hostIndex(host), login(name), period(validPeriod), lastChange(changed)
    {
    }
    int hostIndex; ///< index into the seeded hosts
    QString login;
    int period;
    double lastChange;
    QString password; ///< the current password; "old-" and the login when empty
};

/// An installation with a database holding the given hosts (hID 1, 2, ...) and users (uID 1, 2, ...).
class Installation
{
public:
    Installation(const QList<SeedHost>& hosts, const QList<SeedUser>& users)
    {
        TdmPublic dm(env.executablePath());
        for (int i = 0; i < hosts.size(); ++i) {
            THost host;
            host.hID = i + 1;
            host.hAddress = hosts[i].address;
            host.hPort = hosts[i].port;
            host.hNote = hosts[i].note;
            host.UseManager = 1;
            dm.SaveHost(host, TSaveMode::Insert);
        }
        for (int i = 0; i < users.size(); ++i) {
            TUser user;
            user.uID = i + 1;
            user.hID = users[i].hostIndex + 1;
            user.LoginName = users[i].login;
            const QString password =
                users[i].password.isEmpty() ? QStringLiteral("old-") + users[i].login : users[i].password;
            user.pwNow = EncipherPassword(password);
            user.pwPeriod = users[i].period;
            user.RecTime = DayNumber::Now();
            user.pwLastTime = users[i].lastChange;
            dm.SaveUser(user, TSaveMode::Insert);
        }
    }

    /// The real main window on this installation, created hidden as at start-up.
    std::unique_ptr<TfrmMain> Open() const { return std::make_unique<TfrmMain>(env.executablePath()); }

    QString OptionsPath() const { return env.dir() + QStringLiteral("/Options.ini"); }

    TestEnvironment env;
};

/// Closes every modal dialog at once, as Escape would: no test waits on a dialog nobody drives.
inline int CloseAtOnce(QDialog& dialog)
{
    dialog.reject();
    return dialog.result();
}

/// Installs the GUI services (message boxes answered through their test hook) for its lifetime;
/// a dialog that no driver expects is closed at once.
class GuiServices
{
public:
    GuiServices()
    {
        TfrmBase::SetModalHook(CloseAtOnce);
        InstallUiServices(&services);
        GuiUiServices::clearNextAnswers();
        GuiUiServices::clearShown();
    }
    ~GuiServices()
    {
        TfrmBase::SetModalHook({});
        InstallUiServices(nullptr);
    }
    GuiServices(const GuiServices&) = delete;
    GuiServices& operator=(const GuiServices&) = delete;

    /// Texts of the message boxes shown so far.
    static QStringList Messages()
    {
        QStringList texts;
        for (const ShownMessageBox& shown : GuiUiServices::shownMessageBoxes())
            texts << shown.text;
        return texts;
    }

    GuiUiServices services;
};

/// Every modal dialog shown through the dialog base goes to drive until the driver is destroyed.
class ModalDriver
{
public:
    explicit ModalDriver(std::function<void(QDialog&)> drive)
    {
        TfrmBase::SetModalHook([drive = std::move(drive)](QDialog& dialog) {
            drive(dialog);
            return dialog.result();
        });
    }
    ~ModalDriver() { TfrmBase::SetModalHook(CloseAtOnce); }
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;
};

/// The logins of the list, top to bottom.
inline QStringList Logins(const TfrmMain& window)
{
    QStringList logins;
    const TUserListModel& rows = window.lvUsers->Model();
    for (int row = 0; row < rows.rowCount(); ++row)
        logins << rows.Text(row, 0);
    return logins;
}

/// The row showing login, or -1.
inline int RowOf(const TfrmMain& window, const QString& login)
{
    return static_cast<int>(Logins(window).indexOf(login));
}

/// Shows the window and waits until it is active, so that keys reach it.
inline bool ShowActive(TfrmMain& window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

/// A left click on a column header.
inline void ClickHeader(TfrmMain& window, int column)
{
    QHeaderView* header = window.lvUsers->horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
}

} // namespace MainWindowTest
