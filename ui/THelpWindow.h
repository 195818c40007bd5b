#pragma once

#include <QUrl>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QTextBrowser;
class QToolButton;

/// The user manual in a window of the program: the contents on the left, the page on the right,
/// back and forward, and a search in the page. Each window that asks for help gets its own help
/// window as a child, so that a modal dialog never blocks the help it opened and the help closes
/// with it.
class THelpWindow : public QWidget
{
    Q_OBJECT
public:
    /// Shows page ("hosts.html#host-editor", relative to the manual folder) in owner's help window,
    /// creating it on first use, and brings it to the front.
    static THelpWindow* Open(QWidget& owner, const QString& page);

    explicit THelpWindow(QWidget& owner);

    /// Shows page, or a note that says where the manual was looked for when it is not there.
    void ShowPage(const QString& page);
    /// The page shown, with its anchor; empty while the manual is missing.
    QUrl CurrentPage() const { return m_current; }
    /// Selects the next (or previous) place where text occurs in the page, going round at the end.
    /// False when the page does not hold it.
    bool Find(const QString& text, bool backward = false);

    QToolButton* btnBack = nullptr;
    QToolButton* btnForward = nullptr;
    QToolButton* btnContents = nullptr;
    QLineEdit* edtFind = nullptr;
    QToolButton* btnFindPrevious = nullptr;
    QToolButton* btnFindNext = nullptr;
    QListWidget* lstContents = nullptr;
    QTextBrowser* brwPage = nullptr;

private:
    void loadContents();
    void followLink(const QUrl& link);
    void pageChanged(const QUrl& url);
    void showFindResult(bool found);

    QUrl m_current;
};
