// Prints what the scanner's describers read of each file or bundle given,
// one tab-separated line per plug-in: format, ID, label, name, vendor,
// class, audio inputs and outputs (all buses), MIDI inputs and outputs.
// Usage: ombrel-bench-describe <format> <path>...
// bench/figures lays these beside what lilv and analyseplugin read.

#include "probe/describers.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

QString number(const std::optional<qint64> &value)
{
    return value ? QString::number(*value) : QStringLiteral("-");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    const FormatDescriber describe = arguments.isEmpty() ? nullptr : describerFor(arguments.first());
    if (!describe) {
        QTextStream(stderr) << "usage: ombrel-bench-describe ladspa|dssi|lv2 <path>...\n";
        return 2;
    }
    QTextStream out(stdout);
    for (const QString &path : arguments.mid(1)) {
        FileDescription description;
        if (describe(path, &description) != 0)
            QTextStream(stderr) << path << ": " << description.cause << '\n';
        for (const PluginDescription &d : description.plugins) {
            out << QStringList{d.format,
                               d.id,
                               d.label,
                               d.name,
                               d.vendor,
                               d.category,
                               number(d.audioInputsAll),
                               number(d.audioOutputsAll),
                               number(d.midiInputs),
                               number(d.midiOutputs)}
                       .join(QLatin1Char('\t'))
                << '\n';
        }
    }
    return 0;
}
