#include "describers.h"

namespace {

struct FormatEntry
{
    const char *format;
    FormatDescriber describe;
};

// One line per format this scanner reads besides VST 2.
const FormatEntry kFormats[] = {
    {"", nullptr},
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
