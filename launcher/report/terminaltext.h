#pragma once

#include <QString>

namespace ombrel {

// Text from plug-ins and file names made safe to show on a terminal:
// control characters (escape sequences, newlines, tabs, C1 codes) and the
// invisible direction overrides are shown as escapes (\n, \t, \r, \xHH,
// \uHHHH), so that a plug-in cannot clear the screen, recolour it, or
// forge rows of a table. Everything else is unchanged.
QString escapedForTerminal(const QString &text);

} // namespace ombrel
