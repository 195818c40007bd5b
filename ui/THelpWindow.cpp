#include "ui/THelpWindow.h"

#include "ui/HelpTopics.h"
#include "ui/ProgramPassword.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextList>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kHrefRole = Qt::UserRole;

QToolButton* toolButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon, const QString& tip)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    return button;
}

/// The manual's file name of url ("hosts.html"), for matching the contents.
QString pageName(const QUrl& url)
{
    return QFileInfo(url.path()).fileName();
}

} // namespace

THelpWindow* THelpWindow::Open(QWidget& owner, const QString& page)
{
    auto* help = owner.findChild<THelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!help)
        help = new THelpWindow(owner);
    help->ShowPage(page);
    help->show();
    help->raise();
    help->activateWindow();
    return help;
}

THelpWindow::THelpWindow(QWidget& owner) : QWidget(&owner, Qt::Window)
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Veltrane Help"));
    resize(1000, 740);

    btnBack = toolButton(this, "btnBack", QStyle::SP_ArrowBack, QStringLiteral("Back (Alt+Left)"));
    btnForward = toolButton(this, "btnForward", QStyle::SP_ArrowForward, QStringLiteral("Forward (Alt+Right)"));
    btnContents = toolButton(this, "btnContents", QStyle::SP_DirHomeIcon, QStringLiteral("Contents"));
    btnBack->setEnabled(false);
    btnForward->setEnabled(false);
    edtFind = new QLineEdit(this);
    edtFind->setObjectName(QStringLiteral("edtFind"));
    edtFind->setPlaceholderText(QStringLiteral("Find in page (Ctrl+F)"));
    edtFind->setClearButtonEnabled(true);
    edtFind->setMaximumWidth(260);
    btnFindPrevious = toolButton(this, "btnFindPrevious", QStyle::SP_ArrowUp, QStringLiteral("Previous (Shift+F3)"));
    btnFindNext = toolButton(this, "btnFindNext", QStyle::SP_ArrowDown, QStringLiteral("Next (F3, Enter)"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(btnBack);
    bar->addWidget(btnForward);
    bar->addWidget(btnContents);
    bar->addStretch();
    auto* findLabel = new QLabel(QStringLiteral("&Find:"), this);
    findLabel->setBuddy(edtFind);
    bar->addWidget(findLabel);
    bar->addWidget(edtFind);
    bar->addWidget(btnFindPrevious);
    bar->addWidget(btnFindNext);

    lstContents = new QListWidget(this);
    lstContents->setObjectName(QStringLiteral("lstContents"));
    brwPage = new QTextBrowser(this);
    brwPage->setObjectName(QStringLiteral("brwPage"));
    // Links are followed here: pages of the manual inside, web and mail links by the desktop.
    brwPage->setOpenLinks(false);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(lstContents);
    splitter->addWidget(brwPage);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({280, 680});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(splitter, 1);

    connect(btnBack, &QToolButton::clicked, brwPage, &QTextBrowser::backward);
    connect(btnForward, &QToolButton::clicked, brwPage, &QTextBrowser::forward);
    connect(btnContents, &QToolButton::clicked, this, [this] { ShowPage(HelpTopics::StartPage); });
    connect(brwPage, &QTextBrowser::backwardAvailable, btnBack, &QToolButton::setEnabled);
    connect(brwPage, &QTextBrowser::forwardAvailable, btnForward, &QToolButton::setEnabled);
    connect(brwPage, &QTextBrowser::anchorClicked, this, &THelpWindow::followLink);
    connect(brwPage, &QTextBrowser::sourceChanged, this, &THelpWindow::pageChanged);
    connect(lstContents, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { ShowPage(item->data(kHrefRole).toString()); });
    connect(lstContents, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ShowPage(item->data(kHrefRole).toString()); });
    connect(edtFind, &QLineEdit::textEdited, this, [this](const QString& text) {
        // Typing refines the match in place, from where the last one started.
        QTextCursor cursor = brwPage->textCursor();
        cursor.setPosition(cursor.selectionStart());
        brwPage->setTextCursor(cursor);
        showFindResult(text.isEmpty() || Find(text));
    });
    connect(edtFind, &QLineEdit::returnPressed, this, [this] { showFindResult(Find(edtFind->text())); });
    connect(btnFindNext, &QToolButton::clicked, this, [this] { showFindResult(Find(edtFind->text())); });
    connect(btnFindPrevious, &QToolButton::clicked, this, [this] { showFindResult(Find(edtFind->text(), true)); });
    auto* findKey = new QShortcut(QKeySequence::Find, this);
    connect(findKey, &QShortcut::activated, this, [this] {
        edtFind->setFocus();
        edtFind->selectAll();
    });
    auto* nextKey = new QShortcut(QKeySequence::FindNext, this);
    connect(nextKey, &QShortcut::activated, btnFindNext, &QToolButton::click);
    auto* previousKey = new QShortcut(QKeySequence::FindPrevious, this);
    connect(previousKey, &QShortcut::activated, btnFindPrevious, &QToolButton::click);
    auto* closeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);

    loadContents();
}

void THelpWindow::ShowPage(const QString& page)
{
    const QUrl url = HelpTopics::PageUrl(page);
    if (!QFileInfo::exists(url.toLocalFile())) {
        m_current = QUrl();
        brwPage->setHtml(QStringLiteral("<h2>The user manual is not there</h2><p>It was looked for at %1.</p>"
                                        "<p>Install the program again (<code>sudo apt install --reinstall "
                                        "veltrane</code>), or in a build tree build it again (<code>ninja -C "
                                        "build</code> copies the manual to <code>build/bin/manual</code>). A "
                                        "portable copy finds it in a folder <code>manual</code> beside the "
                                        "program.</p>")
                             .arg(url.toLocalFile().toHtmlEscaped()));
        setWindowTitle(QStringLiteral("Veltrane Help"));
        return;
    }
    if (lstContents->count() == 0)
        loadContents();
    brwPage->setSource(url);
}

bool THelpWindow::Find(const QString& text, bool backward)
{
    if (text.isEmpty())
        return false;
    const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (brwPage->find(text, flags))
        return true;
    // Round the end of the page and look once more from the other end.
    QTextCursor cursor = brwPage->textCursor();
    cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    brwPage->setTextCursor(cursor);
    return brwPage->find(text, flags);
}

void THelpWindow::showFindResult(bool found)
{
    QPalette colours = edtFind->style()->standardPalette();
    if (!found)
        colours.setColor(QPalette::Base, QColor(0xff, 0xd6, 0xd6));
    edtFind->setPalette(colours);
}

void THelpWindow::loadContents()
{
    lstContents->clear();
    QFile index(HelpTopics::ManualDir() + QLatin1Char('/') + HelpTopics::StartPage);
    if (!index.open(QIODevice::ReadOnly))
        return;
    // The contents are the links of the start page's lists, in their order; nested lists indent.
    QTextDocument document;
    document.setHtml(QString::fromUtf8(index.readAll()));
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextList* list = block.textList();
        if (!list)
            continue;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            const QString href = format.anchorHref();
            if (!format.isAnchor() || href.isEmpty() || href.contains(QLatin1Char(':')))
                continue;
            const QString indent(4 * (list->format().indent() - 1), QLatin1Char(' '));
            auto* item = new QListWidgetItem(indent + it.fragment().text().trimmed(), lstContents);
            item->setData(kHrefRole, href);
            break;
        }
    }
}

void THelpWindow::followLink(const QUrl& link)
{
    const QUrl target = brwPage->source().resolved(link);
    if (target.isLocalFile())
        brwPage->setSource(target);
    else
        OpenExternal(target);
}

void THelpWindow::pageChanged(const QUrl& url)
{
    m_current = url;
    const QString title = brwPage->documentTitle();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Veltrane Help") : QStringLiteral("Veltrane Help - ") + title);
    // The contents follow the page; the start page is the contents themselves and marks none.
    const QString name = pageName(url);
    QListWidgetItem* current = nullptr;
    for (int row = 0; row < lstContents->count() && !current; ++row) {
        QListWidgetItem* item = lstContents->item(row);
        if (pageName(QUrl(item->data(kHrefRole).toString())) == name)
            current = item;
    }
    const QSignalBlocker quiet(lstContents);
    lstContents->setCurrentItem(current);
    if (!current)
        lstContents->clearSelection();
}
