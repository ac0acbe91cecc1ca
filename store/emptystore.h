#pragma once

#include <QString>

class QSettings;

// Empties the store at start-up. The emptying is normally written out only
// with the result (or when the store object closes), so that a run that dies
// inside the plug-in leaves the previous run's file as it was. But when that
// file holds the group of the path about to be scanned, it is written out at
// once, before any of the plug-in's code runs: a crash, an _exit() in the
// plug-in or a host killing a hung scan would otherwise leave the old group,
// which the host takes for this run's answer. An empty path scans nothing.
void emptyStore(QSettings &store, const QString &scannedPath);
