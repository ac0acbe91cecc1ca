#include "ladspadescription.h"

#include "probe/untrustedtext.h"

#include <QString>

namespace {

// Far more ports than any plug-in has; a larger count is not believed.
constexpr unsigned long kMaxPorts = 65536;

void countPorts(const LADSPA_Descriptor &descriptor, PluginDescription &description)
{
    if (descriptor.PortCount > kMaxPorts || (descriptor.PortCount > 0 && !descriptor.PortDescriptors))
        return;
    qint64 audioIn = 0;
    qint64 audioOut = 0;
    qint64 controlIn = 0;
    for (unsigned long port = 0; port < descriptor.PortCount; ++port) {
        const LADSPA_PortDescriptor kind = descriptor.PortDescriptors[port];
        if (LADSPA_IS_PORT_AUDIO(kind) && LADSPA_IS_PORT_INPUT(kind))
            ++audioIn;
        else if (LADSPA_IS_PORT_AUDIO(kind) && LADSPA_IS_PORT_OUTPUT(kind))
            ++audioOut;
        else if (LADSPA_IS_PORT_CONTROL(kind) && LADSPA_IS_PORT_INPUT(kind))
            ++controlIn;
    }
    // One bus each way: every audio port is a channel of it.
    description.audioInputs = description.audioInputsAll = audioIn;
    description.audioOutputs = description.audioOutputsAll = audioOut;
    description.parameters = controlIn;
}

} // namespace

PluginDescription ladspaDescription(const LADSPA_Descriptor &descriptor)
{
    PluginDescription description;
    description.format = QStringLiteral("ladspa");
    description.id = QString::number(descriptor.UniqueID);
    description.label = untrustedText(descriptor.Label);
    description.name = untrustedText(descriptor.Name);
    description.vendor = untrustedText(descriptor.Maker);
    description.copyright = untrustedText(descriptor.Copyright);
    description.kind = PluginKind::effect();
    countPorts(descriptor, description);
    return description;
}
