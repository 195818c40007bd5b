#pragma once

#include "engine/TLoginProbe.h"

#include "core/Records.h"
#include "ui/TfrmBase.h"

#include <functional>

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class TdmPublic;

/// The modal dialog in which a user account of one host is added or changed. In add mode it can also
/// store users one after another by itself ("S&ave and add ").
///
/// Use it through EditUserRecord, or step by step: construct, put the record into User, SetAddMode,
/// set the caption, ShowUser, ShowModal, ReadUser, and store User only when Accepted is true.
class TfrmUserEdit : public TfrmBase
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 460;
    static constexpr int ClientHeight = 380;
    static constexpr int PasswordMaxLength = 30;

    /// dm gives the settings and the database; engine runs the login test.
    TfrmUserEdit(TdmPublic& dm, QWidget* parent = nullptr);

    /// The record being edited; in add mode the caller sets hID, HostIP and HostPort of the host.
    TUser User;
    /// True in add mode.
    bool IsNew = false;
    /// Set only by OK after a successful validation.
    bool Accepted = false;
    /// Called with each user that "S&ave and add " has stored, so the caller can list it (not selected).
    std::function<void(const TUser&)> UserStored;

    QLabel* HeaderTab = nullptr;
    QFrame* FieldPanel = nullptr;
    QLineEdit* edtLogin = nullptr;
    QLineEdit* edtUserName = nullptr;
    QLineEdit* edtOldPwd = nullptr;
    QLineEdit* edtNewPwd = nullptr;
    QLineEdit* edtPeriod = nullptr;
    QLineEdit* edtEmail = nullptr;
    QPlainTextEdit* moRemark = nullptr;
    /// Below the description: says when the login is the host's manager account (or root for its su),
    /// whose stored password on the host follows this user's; hidden otherwise.
    QLabel* lbManagerNote = nullptr;
    QToolButton* sbTest = nullptr;
    QToolButton* sbKeybrd = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QPushButton* btnSaveAdd = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCancel = nullptr;

    /// Add mode shows "S&ave and add " and makes it the default button; otherwise OK is the default.
    void SetAddMode(bool adding);
    /// Puts User into the fields (passwords deciphered). adding first resets User for a new user of the
    /// same host: the next uID, no period or times, empty texts, and a generated new password when
    /// AutoGenerate is on.
    void ShowUser(bool adding);
    /// Reads the fields back into User (passwords enciphered, period -1 when empty or not a number);
    /// the other fields are kept.
    void ReadUser();
    /// Checks the login name (given, then one a host can take), then the current password; shows the first
    /// failure as a balloon beside its field and returns false.
    bool ValidateUser();

    void btnSaveClick();
    /// Stores this user, lists it, and starts a fresh record for the same host; a failed store keeps the
    /// fields as they are.
    void btnSaveAddClick();
    void btnCancelClick();
    /// Probes the typed login and current password on the user's host and shows the outcome; a click
    /// while a probe runs is ignored.
    void sbTestClick();
    /// Whether a Test Login is still waiting for the host.
    bool ProbeRunning() const { return m_probe.Running(); }
    void sbKeybrdClick();
    void SpeedButton1Click();
    /// Puts a generated password into the new-password field.
    void SpeedButton2Click();
    /// Shows or masks the current password; the new password follows it.
    void SpeedButton3Click();
    /// Shows lbManagerNote while the login typed is the manager account of the user's host, or root on a
    /// host that elevates with su.
    void edtLoginChange();

    /// Closes every balloon and stops a Test Login still waiting; its outcome is then not shown.
    void done(int result) override;

private:
    QString GeneratedPassword() const;
    /// The manager login, elevation and address of the user's host, read when the user is shown.
    THost m_host;

    TdmPublic& m_dm;
    TLoginProbe m_probe;
};

/// Runs the user editor for one add ("Add User") or change ("User Editing") of user, captioned with
/// the host's address and port, and reads the fields back into user whatever closed it; returns
/// Accepted. When adding, user is an empty record with hID, HostIP and HostPort of the host; the users
/// stored meanwhile by "S&ave and add " are passed to userStored. Storing the returned record is the
/// caller's.
bool EditUserRecord(QWidget* parent, TdmPublic& dm, TUser& user, bool adding,
                    const std::function<void(const TUser&)>& userStored);
