#include "ui/HelpTopics.h"

#include "core/Platform.h"

#include <QHash>
#include <QWidget>

namespace HelpTopics {

namespace {

QString g_manualDir;

/// Window classes and their pages. Keyed by class name so that the windows of engine/ and batch/
/// need no help code of their own.
const QHash<QString, QString>& pages()
{
    static const QHash<QString, QString> table = {
        {QStringLiteral("TfrmMain"), StartPage},
        {QStringLiteral("TfrmHostEdit"), QStringLiteral("hosts.html#host-editor")},
        {QStringLiteral("TfrmUserEdit"), QStringLiteral("users.html#user-editor")},
        {QStringLiteral("TfrmOptions"), QStringLiteral("options.html")},
        {QStringLiteral("TfrmOperationSetting"), QStringLiteral("os-profiles.html")},
        {QStringLiteral("TfrmOperation"), QStringLiteral("batches.html#runner")},
        {QStringLiteral("TfrmRunLog"), QStringLiteral("batches.html#history")},
        {QStringLiteral("TfrmLogin"), QStringLiteral("protection.html#login")},
        {QStringLiteral("TfrmChangePass"), QStringLiteral("protection.html#change")},
        {QStringLiteral("TfrmKeyBoard"), QStringLiteral("protection.html#keyboard")},
        {QStringLiteral("TfrmAbout"), StartPage},
    };
    return table;
}

} // namespace

QString ManualDir()
{
    return g_manualDir.isEmpty() ? Platform::ManualDir(Platform::ExecutableDir()) : g_manualDir;
}

void SetManualDir(const QString& dir)
{
    g_manualDir = dir;
}

QString PageFor(const QWidget& window)
{
    return pages().value(QString::fromLatin1(window.metaObject()->className()));
}

QUrl PageUrl(const QString& page)
{
    const qsizetype hash = page.indexOf(QLatin1Char('#'));
    QUrl url = QUrl::fromLocalFile(ManualDir() + QLatin1Char('/') + page.left(hash < 0 ? page.size() : hash));
    if (hash >= 0)
        url.setFragment(page.mid(hash + 1));
    return url;
}

} // namespace HelpTopics
