#pragma once

#include <QString>

// One line on standard error, "ombrel-scan: <message>": how ombrel-scan
// tells every problem, each message naming what failed and why.
void printError(const QString &message);
