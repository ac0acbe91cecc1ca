#include "describers.h"

#include "clap/clapdescriber.h"
#include "vst3/vst3describer.h"

namespace {

struct FormatEntry
{
    const char *format;
    FormatDescriber describe;
};

// One line per format this scanner reads besides VST 2.
const FormatEntry kFormats[] = {
    {"vst3", describeVst3},
    {"clap", describeClap},
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
