#include "classinfo.h"

#include "contract/plugindescription.h"

#include <QByteArray>
#include <QStringList>

QString vst3ClassId(const char *cid)
{
    return QString::fromLatin1(QByteArray(cid, 16).toHex().toUpper());
}

QString vst3Kind(const QString &subCategories)
{
    const QStringList tokens = subCategories.split(QLatin1Char('|'));
    if (tokens.contains(QLatin1String("Instrument")))
        return PluginKind::instrument();
    if (tokens.contains(QLatin1String("Analyzer")))
        return PluginKind::analyzer();
    return PluginKind::effect();
}
