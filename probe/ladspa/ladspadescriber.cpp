#include "ladspadescriber.h"

#include "indexedlibrary.h"
#include "ladspadescription.h"

namespace {

bool describeAt(QFunctionPointer entry, unsigned long index, const QString &path, PluginDescription *description)
{
    const auto ladspaDescriptor = reinterpret_cast<LADSPA_Descriptor_Function>(entry);
    const LADSPA_Descriptor *descriptor = ladspaDescriptor(index);
    if (!descriptor)
        return false;
    *description = ladspaDescription(*descriptor);
    description->file = path;
    description->index = qint64(index);
    return true;
}

} // namespace

int describeLadspa(const QString &path, FileDescription *description)
{
    return describeIndexedLibrary(path, "ladspa_descriptor", describeAt, description);
}
