#include "lv2describer.h"

#include "lv2plugin.h"
#include "lv2world.h"
#include "turtlecheck.h"

#include "contract/outcome.h"

#include <QFileInfo>

int describeLv2(const QString &path, FileDescription *description)
{
    const QFileInfo bundle(path);
    if (!bundle.exists())
        return OutcomeNotFound;
    if (!bundle.isDir()) {
        description->cause = QStringLiteral("not a folder: an LV2 bundle is a folder with a manifest.ttl");
        return OutcomeNoName;
    }
    if (!QFileInfo(path + QStringLiteral("/manifest.ttl")).isFile()) {
        description->cause = QStringLiteral("no manifest.ttl in the bundle");
        return OutcomeNoName;
    }

    Lv2World world;
    const LilvNode *bundleUri = world.loadBundle(bundle.absoluteFilePath());
    const LilvPlugins *plugins = lilv_world_get_all_plugins(world.world());
    QStringList defects;
    qint64 index = 0;
    for (LilvIter *i = lilv_plugins_begin(plugins); !lilv_plugins_is_end(plugins, i);
         i = lilv_plugins_next(plugins, i)) {
        const LilvPlugin *plugin = lilv_plugins_get(plugins, i);
        // The core specification holds no plug-ins, but a world may hold
        // what lilv was told of elsewhere; only this bundle's count.
        if (!lilv_node_equals(lilv_plugin_get_bundle_uri(plugin), bundleUri))
            continue;
        const QString uri = nodeText(lilv_plugin_get_uri(plugin));
        const QString defect = lv2Defect(plugin);
        if (!defect.isEmpty()) {
            defects << uri + QStringLiteral(": ") + defect;
            continue;
        }
        PluginDescription found = lv2Description(world, plugin);
        found.bundle = path;
        found.index = index++;
        description->plugins.append(found);
    }
    if (description->plugins.isEmpty()) {
        if (!defects.isEmpty()) {
            description->cause = defects.join(QStringLiteral("; "));
        } else {
            const QString error = turtleError(path + QStringLiteral("/manifest.ttl"));
            description->cause = error.isEmpty()
                ? QStringLiteral("no LV2 plug-in in the bundle (it holds specifications or other data)")
                : QStringLiteral("not valid Turtle: ") + error;
        }
        return OutcomeNoName;
    }
    if (!defects.isEmpty())
        description->note = QStringLiteral("left out: ") + defects.join(QStringLiteral("; "));
    return OutcomeOk;
}
