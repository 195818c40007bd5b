#include "core/UiServices.h"

#include <QCoreApplication>

#include <cstdio>

UiServices::~UiServices() = default;

namespace {
ConsoleUiServices g_console;
UiServices* g_services = &g_console;

void printLine(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
}
} // namespace

int ConsoleUiServices::messageBox(const QString& text, const QString& caption, int style)
{
    printLine(caption + QStringLiteral(": ") + text);
    return style == StyleConfirm ? ButtonNo : ButtonOk;
}

void ConsoleUiServices::showRunLog(const QString& text, const QString& caption)
{
    printLine(caption);
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    printLine(normalized);
}

void ConsoleUiServices::setStatusText(const QString&) {}

void ConsoleUiServices::showBalloonTip(QObject*, const QString& text, BalloonIcon, int)
{
    printLine(text);
}

void ConsoleUiServices::processEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void InstallUiServices(UiServices* services)
{
    g_services = services ? services : &g_console;
}

UiServices& Ui()
{
    return *g_services;
}

int MsgBox(const QString& text, const QString& caption, int style)
{
    return Ui().messageBox(text, caption, style);
}

bool MsgBoxYes(const QString& text, const QString& caption, int style)
{
    return MsgBox(text, caption, style) == ButtonYes;
}
