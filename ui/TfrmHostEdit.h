#pragma once

#include "engine/TLoginProbe.h"

#include "core/Records.h"
#include "ui/TfrmBase.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class TdmPublic;

/// The modal dialog in which a host is added or changed: address, SSH port, operating system (its
/// prompt profile), the account used when passwords are changed, the manager account (password, key
/// file and passphrase, and how it becomes root: none, sudo, or su with a root password), whether the
/// manager also tries an ssh-agent's keys, whether SHA-1 algorithms are allowed, and a note.
///
/// Use it through EditHostRecord, or step by step: construct, set the caption, ShowHost, ShowModal,
/// ReadHost, and store the record only when Accepted is true.
class TfrmHostEdit : public TfrmBase
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 474;
    static constexpr int ClientHeight = 458;
    /// The name of the list entry that stands for OSID -1.
    static inline const QString OtherOSName = QStringLiteral("Other OS...");
    /// Values of the login combo, as text, like every item value.
    static inline const QString ManagerAccountValue = QStringLiteral("-1");
    static inline const QString UsersAccountValue = QStringLiteral("1");
    /// Hook for the key file chooser: given the dialog and the current path, returns the chosen path
    /// or an empty text. Unset, a file dialog opens (in ~/.ssh when no key is set yet).
    using KeyFileChooser = std::function<QString(QWidget* parent, const QString& current)>;
    static void SetKeyFileChooser(KeyFileChooser chooser);

    /// dm gives the profile list; engine runs the manager login test.
    TfrmHostEdit(TdmPublic& dm, QWidget* parent = nullptr);

    /// Set only by OK after a successful validation.
    bool Accepted = false;

    QLabel* HeaderTab = nullptr;
    QFrame* FieldPanel = nullptr;
    QLineEdit* edtName = nullptr;
    QLineEdit* edtPort = nullptr;
    QComboBox* cbbOS = nullptr;
    QComboBox* cbbLoginAs = nullptr;
    /// Beside the login combo: "none", "sudo", "su" with the TElevation values as item data.
    QComboBox* cbbElevation = nullptr;
    QLineEdit* edtMngLogin = nullptr;
    QLineEdit* edtMngPwd = nullptr;
    QLineEdit* edtMngKey = nullptr;
    QToolButton* sbMngKey = nullptr;
    QLineEdit* edtMngKeyPass = nullptr;
    QToolButton* sbKeyPassKeybrd = nullptr;
    QToolButton* sbShowKeyPass = nullptr;
    QLabel* lbRootPwd = nullptr;
    /// Enabled only while cbbElevation shows su.
    QLineEdit* edtRootPwd = nullptr;
    QToolButton* sbRootKeybrd = nullptr;
    QToolButton* sbShowRootPwd = nullptr;
    /// MngUseAgent: the manager's login also offers the keys of a running ssh-agent.
    QCheckBox* chkUseAgent = nullptr;
    /// hLegacyAlgorithms: SHA-1 algorithms are offered to this host.
    QCheckBox* chkLegacyAlgorithms = nullptr;
    QPlainTextEdit* edtNote = nullptr;
    QToolButton* sbSetting = nullptr;
    QToolButton* sbTest = nullptr;
    QToolButton* sbKeybrd = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCancel = nullptr;

    /// Fills the OS list from UnixOS in the order stored, then "Other OS..." (value -1), and chooses the
    /// entry whose value is osid; with none, nothing is chosen.
    void LoadOSList(int osid);
    /// Refills the login combo ("Manager Account" -1, "User's Account" 1), the OS list, and puts host into
    /// the fields; the manager password, the key passphrase and the root password are deciphered into theirs.
    void ShowHost(const THost& host);
    /// Reads the fields into host: an IPv6 address without its brackets, port 22 when not a number, OSID -1 with no OS
    /// chosen, UseManager 1 with no login entry chosen, the passwords enciphered. The root password is kept only for su
    /// and the passphrase only with a key file. hID is kept.
    void ReadHost(THost& host) const;
    /// Checks the address (empty, then one a host can be reached by), the port range, the manager login
    /// (needed for the manager account, and one a host can take when given) and password (not needed with
    /// a readable key file), then the root password for su, in this order; shows the first failure as a
    /// balloon beside its field and returns false.
    bool ValidateHost();

    /// Focuses the address with its whole text selected.
    void FormShow();
    /// The port takes only digits, Backspace and Enter from the keyboard, and no control characters;
    /// returns whether the key passes. Keys that type nothing (arrows, Delete) always pass.
    static bool PortKeyAllowed(int key, Qt::KeyboardModifiers modifiers, const QString& text);
    /// "Detailed Setting..." is available while an OS is shown.
    void cbbOSChange();
    /// Opens the profile editor for the chosen OS and reloads the list when it saved or deleted.
    void sbSettingClick();
    /// Probes the manager login typed in the dialog and shows the outcome beside the Test button; a click
    /// while a probe runs is ignored.
    void sbTestClick();
    /// Whether a Test Login is still waiting for the host.
    bool ProbeRunning() const { return m_probe.Running(); }
    /// Shows or masks the manager password.
    void SpeedButton3Click();
    void sbKeybrdClick();
    /// The root password field and its buttons are enabled only for su.
    void cbbElevationChange();
    /// The passphrase field and its buttons are enabled only with a key file.
    void edtMngKeyChange();
    /// Lets the user pick the manager's private key file.
    void sbMngKeyClick();
    /// The elevation chosen, None when nothing is.
    TElevation ChosenElevation() const;
    void btnSaveClick();
    void btnCancelClick();

    /// The chosen OS entry's value as a number, -1 when none is chosen.
    int ChosenOSID() const;

    /// Closes every balloon and stops a Test Login still waiting; its outcome is then not shown.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TdmPublic& m_dm;
    TLoginProbe m_probe;
};

/// Runs the host editor for one add ("Add Host") or change ("Host Editing") of host and reads the
/// fields back into host whatever closed it; returns Accepted. When adding, the caller has already
/// given host its hID, port 22 and UseManager -1; storing the record is the caller's.
bool EditHostRecord(QWidget* parent, TdmPublic& dm, THost& host, bool adding);
