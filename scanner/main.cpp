// OmbrelPluginScanner: examines one VST 2.x plug-in for a host, in a process
// of its own so that a plug-in that crashes takes only this process down.
//
// Usage: OmbrelPluginScanner <plugin path> [ignored...]
//
// Exit code (the host's contract, see contract/outcome.h):
//   0  the plug-in was named and its record written to the result store
//   1  no plug-in path was given
//   3  nothing exists at the path
//   4  the plug-in's code ended the process (exit() or quick_exit())
//   5  banned, not a regular file, not loadable, no entry point, refused,
//      or nameless
//   6  the plug-in was named but the result store could not be written
//   a crash exit when the plug-in's own code faults
//
// The result store is the per-user INI file of Kestrune/OmbrelPluginScanner.
// It is emptied at every start and holds, after a successful scan, the one
// group named by settingsKeyForPath() of the path.
//
// The lines on standard error are written exactly, whatever the user's Qt
// logging rules or message pattern (see diagnostics.h).

#include "diagnostics.h"
#include "pluginscanner.h"

#include "contract/identity.h"
#include "contract/lines.h"
#include "contract/outcome.h"
#include "store/emptystore.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSettings>
#include <QStringList>

int main(int argc, char *argv[])
{
    installDiagnosticOutput();
    int result = OutcomeNoPluginGiven;
    {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(storeApplicationName());
        QCoreApplication::setOrganizationName(storeOrganizationName());
        const QStringList args = QCoreApplication::arguments();

        // Emptied whether or not a path was given, but written out at once
        // only when the previous file holds that path's group; otherwise by
        // the scan's own flush or when this object closes, so that a plug-in
        // that crashes the process leaves the previous run's file untouched.
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings store;
        emptyStore(store, args.value(1));

        if (args.size() > 1) {
            const QString &path = args.at(1);
            qDebug().noquote() << QStringLiteral("scanning plugin") << quoted(path);
            result = PluginScanner().scanPlugin(path);
            qDebug().noquote() << quoted(statusText(result));
        } else {
            qDebug().noquote() << QStringLiteral("no plugin file given to helper process");
        }
    }
    return result;
}
