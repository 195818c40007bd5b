#pragma once

#include "ui/TfrmBase.h"

class QFrame;
class QPlainTextEdit;
class QPushButton;

/// The read-only text viewer for long texts: transcripts, histories, database error reports.
class TfrmRunLog : public TfrmBase
{
    Q_OBJECT
public:
    explicit TfrmRunLog(QWidget* parent = nullptr);

    /// Shows text in moInfo; a lone CR, a lone LF and CR LF all break lines.
    void SetText(const QString& text);
    /// The whole text with every line break as CR LF (what Copy puts on the clipboard).
    QString TextWithCrLf() const;

    QFrame* plClient = nullptr;
    QPlainTextEdit* moInfo = nullptr;
    QPushButton* RzBitBtn1 = nullptr; ///< "C&opy"
    QPushButton* RzBitBtn2 = nullptr; ///< "&Close"

    /// Copy: selects the whole text and puts it on the clipboard with CR LF line ends.
    void RzBitBtn1Click();
    /// Close.
    void RzBitBtn2Click();

private:
    QString m_lines; ///< the shown text, line breaks as LF
};

/// Opens the viewer modally with text under caption and returns when it is closed.
void ShowRunLog(const QString& text, const QString& caption);
