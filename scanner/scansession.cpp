#include "scansession.h"

#include "pluginscanner.h"

#include "contract/lines.h"
#include "contract/outcome.h"
#include "store/resultstore.h"

#include <QDebug>

int scanIntoStore(const QStringList &arguments, const QString &storeFile)
{
    // Emptied whether or not a path was given, but written out at once
    // only when the previous file holds that path's group; otherwise by the
    // scan's own flush or when the store closes, so that a plug-in that
    // crashes the process leaves the previous run's file untouched.
    ResultStore store(storeFile);
    store.empty(arguments.value(1));
    if (arguments.size() < 2) {
        qDebug().noquote() << QStringLiteral("no plugin file given to helper process");
        return OutcomeNoPluginGiven;
    }
    const QString &path = arguments.at(1);
    qDebug().noquote() << QStringLiteral("scanning plugin") << quoted(path);
    const int result = PluginScanner().scanPlugin(path, store);
    qDebug().noquote() << quoted(statusText(result));
    return result;
}
