// Takes the single-instance guard like the program does, says whether it got it, and holds it
// until its standard input closes.
#include "core/Platform.h"

#include <cstdio>
#include <unistd.h>

int main()
{
    if (!Platform::AcquireSingleInstance(QStringLiteral("Tarnwell Inc. No.2"))) {
        std::puts("refused");
        return 3;
    }
    std::puts("acquired");
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    return 0;
}
