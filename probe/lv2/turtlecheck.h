#pragma once

#include <QString>

// The first syntax error of a Turtle file as "<file name>:<line>:<column>:
// <what>", or empty when it reads. lilv only prints such errors; this
// names one in the cause of a bundle that yields no plug-in.
QString turtleError(const QString &file);
