#include "moduleinfo.h"

#include "classinfo.h"
#include "json5.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

namespace {

// Real files are a few KiB; a bundle is untrusted, so its file is not read whole.
constexpr qint64 kMaxFileSize = 4 << 20;

QString textOf(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}

} // namespace

bool moduleInfoFromBytes(const QByteArray &bytes, ModuleInfo *info, QString *error)
{
    QJsonValue document;
    QString parseError;
    if (!parseJson5(bytes, &document, &parseError)) {
        *error = QStringLiteral("not JSON5: %1").arg(parseError);
        return false;
    }
    const QJsonObject top = document.toObject();
    if (!top.value(QLatin1String("Classes")).isArray()) {
        *error = QStringLiteral("no \"Classes\" list");
        return false;
    }
    info->vendor = textOf(top.value(QLatin1String("Factory Info")).toObject(), "Vendor");
    const QJsonArray classes = top.value(QLatin1String("Classes")).toArray();
    for (qsizetype index = 0; index < classes.size(); ++index) {
        const QJsonObject entry = classes.at(index).toObject();
        // One widely installed writer spells the key "Catetory".
        const QString category
            = entry.contains(QLatin1String("Category")) ? textOf(entry, "Category") : textOf(entry, "Catetory");
        if (category != QLatin1String("Audio Module Class"))
            continue;
        PluginDescription plugin;
        plugin.format = QStringLiteral("vst3");
        plugin.id = textOf(entry, "CID").toUpper();
        plugin.name = textOf(entry, "Name");
        plugin.vendor = textOf(entry, "Vendor");
        if (plugin.vendor.isEmpty())
            plugin.vendor = info->vendor;
        plugin.version = textOf(entry, "Version");
        QStringList subCategories;
        for (const QJsonValue &token : entry.value(QLatin1String("Sub Categories")).toArray())
            subCategories << token.toString();
        plugin.category = subCategories.join(QLatin1Char('|'));
        plugin.kind = vst3Kind(plugin.category);
        plugin.index = index;
        info->plugins << plugin;
    }
    return true;
}

bool readModuleInfo(const QString &bundle, ModuleInfo *info, QString *error)
{
    error->clear();
    for (const char *place : {"/Contents/Resources/moduleinfo.json", "/Contents/moduleinfo.json"}) {
        QFile file(bundle + QLatin1String(place));
        if (!file.exists())
            continue;
        info->file = file.fileName();
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
            return false;
        }
        if (file.size() > kMaxFileSize) {
            *error = QStringLiteral("%1: larger than %2 bytes").arg(file.fileName()).arg(kMaxFileSize);
            return false;
        }
        if (!moduleInfoFromBytes(file.read(kMaxFileSize), info, error)) {
            *error = QStringLiteral("%1: %2").arg(file.fileName(), *error);
            return false;
        }
        return true;
    }
    return false;
}
