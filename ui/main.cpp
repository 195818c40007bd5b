// The GUI program: one instance per user, the main window created and filled while hidden, then
// shown once the start-up gate lets it.
#include "core/Platform.h"
#include "core/ProgramFiles.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "ui/GuiUiServices.h"
#include "ui/MainWindowStart.h"
#include "ui/ProgramCommandLine.h"
#include "ui/TApplication.h"
#include "ui/THelpKey.h"
#include "ui/TfrmMain.h"

#include <QTimer>

#include <memory>

int main(int argc, char* argv[])
{
    // First of all, before any window, settings file or database is touched.
    Platform::HardenProcess();
    if (const auto exitCode = ProgramCommandLine::Answer(argc, argv))
        return *exitCode;
    if (!Platform::AcquireSingleInstance(QStringLiteral("Tarnwell Inc. No.2")))
        return 0;

    TApplication app(argc, argv);
    GuiUiServices services;
    InstallUiServices(&services);
    const THelpKey helpKey;
    // Ties the windows to the desktop entry, so the desktop shows its name and icon for them.
    QGuiApplication::setDesktopFileName(QStringLiteral("veltrane"));

    const QString executableDir = Platform::ExecutableDir();
    // A failure is said here; the database that is then missing is reported as usual.
    if (const QString problem = ProgramFiles::PrepareFirstStart(executableDir); !problem.isEmpty())
        MsgBox(problem, ApplicationTitle, StyleError);

    int result = 0;
    {
        // Destroying the window frees its records and writes the column widths; its data module,
        // and with it the settings file and the database, goes last.
        auto mainWindow = StartMainWindow(ProgramFiles::BasePath(executableDir));
        if (mainWindow) {
            mainWindow->show();
            // Asked once the window is up, so the runner it may open has its parent on screen.
            QTimer::singleShot(0, mainWindow.get(), [&mainWindow] {
                mainWindow->WarnIfDatabaseExposed();
                mainWindow->OfferToVerifyUnconfirmedChanges();
            });
            result = app.exec();
        }
    }
    InstallUiServices(nullptr);
    return result;
}
