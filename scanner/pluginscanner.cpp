#include "pluginscanner.h"

#include "pluginexitguard.h"

#include "contract/lines.h"
#include "contract/outcome.h"
#include "probe/probeplugin.h"
#include "store/resultstore.h"

#include <QDebug>
#include <QFileInfo>

int PluginScanner::scanPlugin(const QString &path, ResultStore &store, Vst2Details *details, PluginInfo *named) const
{
    // Existence comes first: a missing file is never probed, banned or not.
    if (!QFileInfo::exists(path))
        return OutcomeNotFound;

    PluginInfo info;
    {
        // An exit() in here is the plug-in's, never the scanner's outcome.
        const PluginExitGuard guard;
        info = probePlugin(path, details);
    }
    if (info.name.isEmpty())
        return OutcomeNoName;

    qDebug().noquote() << quoted(info.pluginfn) << quoted(info.name);
    if (!store.write(path, info))
        return OutcomeError;
    if (named)
        *named = info;
    return OutcomeOk;
}

PluginInfo PluginScanner::probePlugin(QString path, Vst2Details *details) const
{
    return probeLibrary(std::move(path), details);
}
