#include "dssidescriber.h"

#include "probe/ladspa/indexedlibrary.h"
#include "probe/ladspa/ladspadescription.h"

#include <QDir>
#include <QFileInfo>

#include <dssi.h>

namespace {

// DSSI's GUIs are programs in a folder named after the library, each named
// after the plug-in's label and the toolkit (hexter/hexter_gtk).
bool hasGui(const QString &path, const QString &label)
{
    if (label.isEmpty())
        return false;
    const QFileInfo library(path);
    const QDir guis(library.absolutePath() + QLatin1Char('/') + library.completeBaseName());
    return !guis.entryList({label + QStringLiteral("_*")}, QDir::Files | QDir::Executable).isEmpty();
}

bool describeAt(QFunctionPointer entry, unsigned long index, const QString &path, PluginDescription *description)
{
    const auto dssiDescriptor = reinterpret_cast<DSSI_Descriptor_Function>(entry);
    const DSSI_Descriptor *descriptor = dssiDescriptor(index);
    if (!descriptor)
        return false;
    if (descriptor->LADSPA_Plugin) {
        *description = ladspaDescription(*descriptor->LADSPA_Plugin);
        description->editor = hasGui(path, description->label);
    }
    description->format = QStringLiteral("dssi");
    const bool synth = descriptor->run_synth || descriptor->run_multiple_synths;
    description->kind = synth ? PluginKind::instrument() : PluginKind::effect();
    description->midiInputs = synth ? 1 : 0;
    description->file = path;
    description->index = qint64(index);
    return true;
}

} // namespace

int describeDssi(const QString &path, FileDescription *description)
{
    return describeIndexedLibrary(path, "dssi_descriptor", describeAt, description);
}
