#include "tests/cli/CliInstall.h"

#include <QFile>
#include <QtTest>

CliInstall::CliInstall()
{
    const QString built = BuiltProgram(QStringLiteral("veltrane-cli"));
    if (!QFile::copy(built, program()))
        qFatal("cannot copy %s into the test installation", qPrintable(built));
    QFile::setPermissions(program(), QFile::permissions(program()) | QFileDevice::ExeOwner);
}

QString CliInstall::program() const
{
    return path(QStringLiteral("veltrane-cli"));
}

void CliInstall::start(QProcess& process, const QStringList& arguments)
{
    process.setWorkingDirectory(dir());
    process.start(program(), arguments);
}

CliResult CliInstall::run(const QStringList& arguments, const QByteArray& input, int timeoutMs)
{
    QProcess process;
    start(process, arguments);
    if (!process.waitForStarted(10000))
        qFatal("veltrane-cli did not start");
    process.write(input);
    process.closeWriteChannel();
    CliResult result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("timed out");
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void CliInstall::writeFile(const QString& name, const QByteArray& content)
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path(name)));
}
