#pragma once

#include "ui/TfrmBase.h"

class TdmPublic;
class QLineEdit;
class QPushButton;
class QToolButton;

/// Changes the program password: the current one, then the new one twice.
class TfrmChangePass : public TfrmBase
{
    Q_OBJECT
public:
    explicit TfrmChangePass(TdmPublic& dm, QWidget* parent = nullptr);

    /// Set when the checks passed; the opener then stores edtNew's text.
    bool Accepted = false;

    QLineEdit* edtOld = nullptr;
    QLineEdit* edtNew = nullptr;
    QLineEdit* edtVerify = nullptr;
    QToolButton* sbKeybrd = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCancel = nullptr;

    void btnSaveClick();
    void btnCancelClick();
    void sbKeybrdClick();
    void SpeedButton1Click();
    void SpeedButton2Click();

private:
    TdmPublic& m_dm;
};
