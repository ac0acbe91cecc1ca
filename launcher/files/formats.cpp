#include "launcher/files/formats.h"

#include "launcher/files/elfexports.h"

#include <QDir>
#include <QFileInfo>

namespace ombrel {

namespace {

// A name that is the suffix alone is no candidate: `~/.lv2` is the folder
// that holds LV2 bundles, not one of them. A folder given as `x.lv2/` is
// still x.lv2.
bool hasSuffix(QString path, const QString &suffix)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const int name = path.lastIndexOf(QLatin1Char('/')) + 1;
    return path.size() - name > suffix.size() && path.endsWith(suffix);
}

} // namespace

const QList<PluginFormat> &pluginFormats()
{
    static const QList<PluginFormat> formats = {
        {QStringLiteral("vst2"),
         QStringLiteral("VST_PATH"),
         {QStringLiteral("~/.vst"), QStringLiteral("~/.lxvst"), QStringLiteral("/usr/lib/vst"),
          QStringLiteral("/usr/lib/lxvst"), QStringLiteral("/usr/local/lib/vst"),
          QStringLiteral("/usr/local/lib/lxvst")},
         QStringLiteral(".so"),
         false,
         {"VSTPluginMain", "main"}},
        {QStringLiteral("vst3"),
         QStringLiteral("VST3_PATH"),
         {QStringLiteral("~/.vst3"), QStringLiteral("/usr/lib/vst3"), QStringLiteral("/usr/local/lib/vst3")},
         QStringLiteral(".vst3"),
         true,
         {}},
        // The format asks hosts to search its variable's folders and then the usual ones.
        {QStringLiteral("clap"),
         QStringLiteral("CLAP_PATH"),
         {QStringLiteral("~/.clap"), QStringLiteral("/usr/lib/clap"), QStringLiteral("/usr/local/lib/clap")},
         QStringLiteral(".clap"),
         false,
         {},
         true},
        {QStringLiteral("ladspa"),
         QStringLiteral("LADSPA_PATH"),
         {QStringLiteral("~/.ladspa"), QStringLiteral("/usr/local/lib/ladspa"), QStringLiteral("/usr/lib/ladspa")},
         QStringLiteral(".so"),
         false,
         {"ladspa_descriptor"}},
        {QStringLiteral("dssi"),
         QStringLiteral("DSSI_PATH"),
         {QStringLiteral("~/.dssi"), QStringLiteral("/usr/local/lib/dssi"), QStringLiteral("/usr/lib/dssi")},
         QStringLiteral(".so"),
         false,
         {"dssi_descriptor"}},
        {QStringLiteral("lv2"),
         QStringLiteral("LV2_PATH"),
         {QStringLiteral("~/.lv2"), QStringLiteral("/usr/local/lib/lv2"), QStringLiteral("/usr/lib/lv2")},
         QStringLiteral(".lv2"),
         true,
         {}},
    };
    return formats;
}

const PluginFormat *findFormat(const QString &name)
{
    for (const PluginFormat &format : pluginFormats()) {
        if (format.name == name)
            return &format;
    }
    return nullptr;
}

QStringList formatFolders(const PluginFormat &format, bool existingOnly)
{
    const QString fromEnvironment = qEnvironmentVariable(format.pathVariable.toLatin1().constData());
    QStringList folders = fromEnvironment.split(QDir::listSeparator(), Qt::SkipEmptyParts);
    if (folders.isEmpty() || format.variableAddsToUsual) {
        for (const QString &folder : format.usualFolders)
            folders << (folder.startsWith(QLatin1String("~/")) ? QDir::homePath() + folder.mid(1) : folder);
    }
    if (!existingOnly)
        return folders;
    // Folders that do not exist are simply not there to scan; they are not
    // missing plug-ins.
    QStringList existing;
    for (const QString &folder : folders) {
        if (QFileInfo(folder).isDir())
            existing << folder;
    }
    return existing;
}

QStringList formatsOf(const QString &path, bool isFolder, const QStringList &wanted)
{
    QStringList bySuffix;
    QList<QByteArray> symbols;
    for (const PluginFormat &format : pluginFormats()) {
        if (wanted.contains(format.name) && format.bundle == isFolder && hasSuffix(path, format.suffix)) {
            bySuffix << format.name;
            symbols << format.entrySymbols;
        }
    }
    if (bySuffix.size() < 2 || symbols.isEmpty())
        return bySuffix;
    // A shared suffix: the library says which formats it carries.
    QList<QByteArray> found;
    elfExports(path, symbols, &found);
    QStringList formats;
    for (const QString &name : bySuffix) {
        for (const QByteArray &symbol : findFormat(name)->entrySymbols) {
            if (found.contains(symbol) && !formats.contains(name))
                formats << name;
        }
    }
    return formats.isEmpty() ? bySuffix.mid(0, 1) : formats;
}

bool isBundleName(const QString &name)
{
    for (const PluginFormat &format : pluginFormats()) {
        if (format.bundle && hasSuffix(name, format.suffix))
            return true;
    }
    return false;
}

} // namespace ombrel
