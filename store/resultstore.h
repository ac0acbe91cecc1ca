#pragma once

#include "contract/plugininfo.h"

#include <QSettings>
#include <QString>

// The scanner's result store: one INI file, named when the store is made,
// which holds after a successful scan exactly the group of the scanned
// path. A scanner run by a host uses the user's file (userFile()); a scan
// forked by a scan server is handed a file of its own, since the default
// location is fixed once per process.
class ResultStore
{
public:
    explicit ResultStore(const QString &file);

    // The file a scanner started as it is uses: the per-user INI file of
    // the store's identity (under XDG_CONFIG_HOME on Linux).
    static QString userFile();

    // Empties the store at start-up. The emptying is normally written out
    // only with the result (or when the store closes), so that a run that
    // dies inside the plug-in leaves the previous run's file as it was. But
    // when that file holds the group of the path about to be scanned, it is
    // written out at once, before any of the plug-in's code runs: a crash,
    // an _exit() in the plug-in or a host killing a hung scan would
    // otherwise leave the old group, which the host takes for this run's
    // answer. An empty path scans nothing.
    void empty(const QString &scannedPath);

    // Writes the record as the one group of the path and flushes it, the
    // emptying with it. False when the file could not be written: the host
    // would find no group, so this is no success.
    bool write(const QString &path, const PluginInfo &info);

private:
    QSettings m_settings;
};
