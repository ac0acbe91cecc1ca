#include "terminalwidth.h"

#include <QtGlobal>

#include <sys/ioctl.h>
#include <unistd.h>

int tableWidth()
{
    struct winsize size = {};
    if (::isatty(STDOUT_FILENO) && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : 0;
}
