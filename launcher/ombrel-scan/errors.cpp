#include "errors.h"

#include <cstdio>

void printError(const QString &message)
{
    std::fprintf(stderr, "ombrel-scan: %s\n", qPrintable(message));
}
