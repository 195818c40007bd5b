#pragma once

#include "engine/TActionFlg.h"

#include <QDialog>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TdmPublic;

/// The dialog in which the prompt profile of one operating system is edited: the four texts of the
/// passwd conversation, whether the old-password step is skipped, whether exit status 0 counts as
/// success, further success texts, the texts that end the dialog as a failure, whether English
/// messages are asked for, and the profile's name. It can also delete the profile. Opened only through EditOSProfile.
class TfrmOperationSetting : public QDialog
{
    Q_OBJECT
public:
    /// text with every CR and LF taken out: a prompt is matched within one line.
    static QString WithoutLineBreaks(QString text);

    static constexpr int ClientWidth = 515;
    static constexpr int ClientHeight = 604;
    /// The caption without the profile's name.
    static inline const QString CaptionPrefix = QStringLiteral("Operating System Settings - ");
    /// The name shown for OSID -1.
    static inline const QString OtherOSName = QStringLiteral("Other OS...");
    /// The balloon beside the first empty field.
    static inline const QString EmptyFieldMessage = QStringLiteral("Please input text here ");

    /// dm: the data module whose database holds the profile (used by Delete).
    explicit TfrmOperationSetting(TdmPublic& dm, QWidget* parent = nullptr);

    /// The profile being edited.
    TActionFlg Flg;
    /// Set by OK after every required field was filled: the caller saves the profile.
    bool Accepted = false;
    /// Set by OK and by Delete: the caller's list of profiles is out of date.
    bool Changed = false;

    QLabel* RzPanel1 = nullptr;
    QPushButton* btnDelete = nullptr;
    QFrame* RzPanel2 = nullptr;
    QLabel* lbOldpass = nullptr;
    QCheckBox* chkOLDPass = nullptr;
    QPlainTextEdit* edtOldTxt = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* edtNewText = nullptr;
    QLabel* Label3 = nullptr;
    QPlainTextEdit* edtReNewText = nullptr;
    QLabel* Label4 = nullptr;
    QPlainTextEdit* edtSuccessText = nullptr;
    /// Ticked: passwd ending with exit status 0 also counts as success, and the success text may be empty.
    QCheckBox* chkExitStatus = nullptr;
    QLabel* lbSuccessTexts = nullptr;
    /// One further success text per line, besides edtSuccessText; Enter starts a new line here.
    QPlainTextEdit* edtSuccessTexts = nullptr;
    QLabel* lbFailTexts = nullptr;
    /// One failure text per line; Enter starts a new line here.
    QPlainTextEdit* edtFailTexts = nullptr;
    QCheckBox* chkEnglish = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* edtName = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCancel = nullptr;

    /// Puts Flg into the controls; Delete is enabled only for a stored profile (OSID not -1).
    void ShowProfile();
    /// Copies the controls into Flg: name, the four texts, canskip 1 when the step is skipped (else -1),
    /// the two switches and the further success and failure texts (one per non-blank line).
    void ReadProfile();

    /// Enables the old-password text only while its step is not skipped; the text itself is kept.
    void chkOLDPassClick();
    /// Refuses the first empty required field with a balloon (the success text is not required with
    /// success by exit status); otherwise accepts and closes.
    void btnSaveClick();
    void btnCancelClick();
    /// Deletes the profile at once, without asking, and closes.
    void btnDeleteClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* addStepMemo(QLabel*& label, const QString& caption, int top);
    /// A memo of one text per line under its label.
    QPlainTextEdit* addListMemo(QLabel*& label, const QString& caption, int top);

    TdmPublic& m_dm;
};

/// Edits the prompt profile osid (-1: "Other OS...", which creates a new profile) shown under name.
/// Returns true when the profile was saved or deleted, so the caller reloads its list; after saving a
/// new profile osid holds its identifier. A failed save was rolled back and is thrown as DatabaseError;
/// a profile that cannot be read at all throws before the dialog opens.
bool EditOSProfile(QWidget* parent, TdmPublic& dm, int& osid, const QString& name);
