#include "indexedlibrary.h"

#include "contract/outcome.h"

#include <QFileInfo>
#include <QLibrary>

int describeIndexedLibrary(const QString &path, const char *symbol, DescribeAt describeAt, FileDescription *description)
{
    const QFileInfo file(path);
    if (!file.exists())
        return OutcomeNotFound;
    // The loader would block forever on a FIFO, and a device is no library.
    if (!file.isFile()) {
        description->cause = QStringLiteral("not a regular file");
        return OutcomeNoName;
    }
    // By absolute path, so that a relative one is not looked up on the
    // loader's search path.
    QLibrary library(file.absoluteFilePath());
    if (!library.load()) {
        description->cause = QStringLiteral("not loadable: ") + library.errorString();
        return OutcomeNoName;
    }
    const QFunctionPointer entry = library.resolve(symbol);
    if (!entry) {
        description->cause = QStringLiteral("no %1").arg(QLatin1String(symbol));
        library.unload();
        return OutcomeNoName;
    }
    for (unsigned long index = 0;; ++index) {
        if (index == kMaxIndexedPlugins) {
            description->note = QStringLiteral("%1 answered more than %2 plug-ins; only the first %2 are listed")
                                    .arg(QLatin1String(symbol))
                                    .arg(kMaxIndexedPlugins);
            break;
        }
        PluginDescription plugin;
        if (!describeAt(entry, index, path, &plugin))
            break;
        description->plugins.append(plugin);
    }
    library.unload();
    return OutcomeOk;
}
