#pragma once

#include <QByteArray>
#include <QString>

// Writes text to standard output and flushes it. A reader that went away
// (a closed pipe, as with "| head") ends the process the way it ends other
// command-line tools: quietly, by SIGPIPE. Any other failure (a full
// device) returns false with *error saying why.
bool writeStandardOutput(const QByteArray &text, QString *error);
