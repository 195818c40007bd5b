#include "ui/MainWindowStart.h"

#include "core/TdmPublic.h"
#include "ui/ProgramPassword.h"
#include "ui/TfrmMain.h"

std::unique_ptr<TfrmMain> StartMainWindow(const QString& executablePath)
{
    auto dm = std::make_unique<TdmPublic>(executablePath);
    if (dm->NeedsDatabasePassword() && !CheckProgramPassword(*dm))
        return nullptr;
    auto mainWindow = std::make_unique<TfrmMain>(std::move(dm));
    if (!CheckProgramPassword(mainWindow->dm()))
        return nullptr;
    return mainWindow;
}
