#pragma once

#include <QDialog>

class TdmPublic;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

/// The Options dialog: password rules, automatic generation and batch confirmations (stored by OK),
/// and the program password protection (switched and changed at once).
class TfrmOptions : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmOptions(TdmPublic& dm, QWidget* parent = nullptr);

    /// The next length text: the text as a number (0 when it is none) plus step, kept within 0 to 30.
    static QString StepLength(const QString& text, int step);

    void ShowOptionPage(QTreeWidgetItem* node);
    void ShowProtectionState(bool enabled);

    void xafdsUpRightClick();
    void xafdsDownLeftClick();
    void btnEnablePWDClick();
    void btnChangeClick();
    void RzBitBtn1Click();
    void btnSaveClick();
    void btnCancelClick();

    QTreeWidget* tvOption = nullptr;
    QTabBar* pcOptions = nullptr;
    QStackedWidget* pages = nullptr;
    QPushButton* btnEnablePWD = nullptr;
    QPushButton* btnChange = nullptr;
    QLineEdit* edtLength = nullptr;
    QToolButton* xafdsUp = nullptr;
    QToolButton* xafdsDown = nullptr;
    QCheckBox* chkLetters = nullptr;
    QCheckBox* chkNumeric = nullptr;
    QCheckBox* chkSpechar = nullptr;
    QCheckBox* chkAutoGenerate = nullptr;
    QCheckBox* chkDelUser = nullptr;
    QCheckBox* chkTestLogin = nullptr;
    QCheckBox* chkGenerateNew = nullptr;
    QCheckBox* chkChangePassword = nullptr;
    QCheckBox* chkSendMail = nullptr;
    QCheckBox* chkVerifyPassword = nullptr;
    QPushButton* RzBitBtn1 = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildPages();
    TdmPublic& m_dm;
};
