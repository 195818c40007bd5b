// The GUI program. Its main window arrives with the main-window work; until then it only takes the
// single-instance guard and opens the data module.
#include "core/Platform.h"
#include "core/TdmPublic.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (!Platform::AcquireSingleInstance(QStringLiteral("Tarnwell Inc. No.2")))
        return 0;
    QApplication app(argc, argv);
    TdmPublic dm(Platform::ExecutablePath());
    return 0;
}
