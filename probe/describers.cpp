#include "describers.h"

#include "clap/clapdescriber.h"
#include "dssi/dssidescriber.h"
#include "ladspa/ladspadescriber.h"
#include "vst3/vst3describer.h"
#if defined(OMBREL_HAVE_LILV)
#include "lv2/lv2describer.h"
#endif

namespace {

struct FormatEntry
{
    const char *format;
    FormatDescriber describe;
};

// One line per format this scanner reads besides VST 2.
const FormatEntry kFormats[] = {
    {"vst3", describeVst3}, {"clap", describeClap}, {"ladspa", describeLadspa}, {"dssi", describeDssi},
#if defined(OMBREL_HAVE_LILV)
    {"lv2", describeLv2},
#endif
};

} // namespace

FormatDescriber describerFor(const QString &format)
{
    for (const FormatEntry &entry : kFormats) {
        if (entry.describe && format == QLatin1String(entry.format))
            return entry.describe;
    }
    return nullptr;
}
