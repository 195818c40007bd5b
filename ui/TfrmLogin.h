#pragma once

#include "core/DatabaseProtection.h"
#include "ui/TfrmBase.h"

class TdmPublic;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

/// The start-up login dialog: the program goes on only when the stored program password is typed.
class TfrmLogin : public TfrmBase
{
    Q_OBJECT
public:
    /// The longest program password.
    static constexpr int MaxPasswordLength = MaxProgramPasswordLength;
    /// What "Forgot your password?" says instead of writing the mail when the database is under the
    /// program password.
    static inline const QString NoRecoveryText = QStringLiteral(
        "The database is encrypted with the program password, so a forgotten password cannot be recovered: "
        "not even Veltrane support can open the file without it.\n\nIf you cannot remember it, use a copy of the "
        "database saved before it was encrypted, or start again with a new database (veltrane-cli init-db).");

    explicit TfrmLogin(TdmPublic& dm, QWidget* parent = nullptr);

    /// Set when the right password was given.
    bool Passed = false;

    QLineEdit* edtPassword = nullptr;
    QToolButton* sbKeybrd = nullptr;
    QLabel* RzURLLabel1 = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCancel = nullptr;

    void btnSaveClick();
    void btnCancelClick();
    void sbKeybrdClick();
    void RzURLLabel1Click();

private:
    TdmPublic& m_dm;
};
