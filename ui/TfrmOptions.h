#pragma once

#include <QDialog>

class TdmPublic;
class QCheckBox;
class QLineEdit;
class QSpinBox;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

/// The Options dialog: password rules, automatic generation and batch confirmations (stored by OK),
/// and the program password protection and the database's key (switched and changed at once).
class TfrmOptions : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmOptions(TdmPublic& dm, QWidget* parent = nullptr);

    /// The question before the database is put under the program password.
    static inline const QString EncryptConfirmationText = QStringLiteral(
        "From now on the database opens only with the program password, also for veltrane-cli, and a forgotten "
        "password cannot be recovered: not even Veltrane support can open the file without it.\n\nEncrypt the "
        "database with the program password?");

    /// The next length text: the text as a number (0 when it is none) plus step, kept within 0 to 30.
    static QString StepLength(const QString& text, int step);

    void ShowOptionPage(QTreeWidgetItem* node);
    void ShowProtectionState(bool enabled);

    void xafdsUpRightClick();
    void xafdsDownLeftClick();
    void btnEnablePWDClick();
    void btnChangeClick();
    /// Re-keys the database to the program password (checked) or back to the built-in key.
    void chkEncryptDatabaseClick(bool checked);
    void RzBitBtn1Click();
    void btnSaveClick();
    void btnCancelClick();

    QTreeWidget* tvOption = nullptr;
    QTabBar* pcOptions = nullptr;
    QStackedWidget* pages = nullptr;
    QPushButton* btnEnablePWD = nullptr;
    QPushButton* btnChange = nullptr;
    QCheckBox* chkEncryptDatabase = nullptr;
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
    QSpinBox* spnParallelHosts = nullptr;
    QCheckBox* chkVerifyAfterChange = nullptr;
    QPushButton* RzBitBtn1 = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildPages();
    TdmPublic& m_dm;
};
