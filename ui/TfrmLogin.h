#pragma once

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
    static constexpr int MaxPasswordLength = 30;

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
