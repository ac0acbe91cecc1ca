#pragma once

#include <QByteArray>
#include <QString>

// The scanner's lines on standard error are its interface with the host, so
// they must not depend on the user's Qt logging setup: rules in
// QT_LOGGING_RULES or in a qtlogging.ini (the user's or a system one) that
// turn debug output off, or a QT_MESSAGE_PATTERN that decorates each line.
// Installs a message handler that writes the default category's debug
// messages exactly as they stand, one line each, and a category filter that
// keeps that category's debug level on whatever the rules say. Everything
// else (Qt's own warnings, other categories) is left to Qt as before.
//
// QT_FATAL_WARNINGS and QT_FATAL_CRITICALS are cleared for this process: a
// warning from Qt or from a plug-in built on Qt would otherwise abort the
// scan and pass for a crashing plug-in.
//
// Call once, first thing in main(), before any message is written.
void installDiagnosticOutput();

// A diagnostic line as it reaches standard error: the text in the local
// 8-bit encoding, as Qt writes messages, and a line feed.
QByteArray diagnosticLineBytes(const QString &text);
