#include "probeplugin.h"

#include "banlist.h"
#include "hostcallback.h"
#include "vst2.h"
#include "vst2details.h"

#include "contract/lines.h"

#include <QDebug>
#include <QFileInfo>
#include <QLibrary>

namespace {

using Vst2::dispatch;

constexpr int kTextBufferSize = 256;

struct TextBuffer
{
    char bytes[kTextBufferSize] = {};

    // Plug-ins may fill the buffer without a terminating zero: never look
    // past its end.
    QString text() const { return QString::fromLatin1(bytes, int(qstrnlen(bytes, sizeof bytes))); }
};

Vst2::EntryPoint resolveEntryPoint(QLibrary &library)
{
    QFunctionPointer entry = library.resolve("VSTPluginMain");
    if (!entry)
        entry = library.resolve("main");
    return reinterpret_cast<Vst2::EntryPoint>(entry);
}

void inspectInstrument(Vst2::AEffect *effect, const QString &path, PluginInfo &info, Vst2Details *details)
{
    // Instruments are not asked for names, but they are opened and closed:
    // some start worker threads with the instance and stop them only in
    // effClose, and unloading the library under a running thread crashes.
    dispatch(effect, Vst2::effOpen);
    info.instrument = true;
    info.pluginfn = path;
    info.name = QFileInfo(path).fileName();
    info.type = QStringLiteral("VST");
    info.inchans = effect->numInputs;
    info.outchans = effect->numOutputs;
    if (details)
        *details = askDetails(effect);
    dispatch(effect, Vst2::effClose);
}

void inspectEffect(Vst2::AEffect *effect, const QString &path, PluginInfo &info, Vst2Details *details)
{
    dispatch(effect, Vst2::effOpen);

    TextBuffer effectName;
    TextBuffer vendor;
    TextBuffer product;
    dispatch(effect, Vst2::effGetEffectName, effectName.bytes);
    dispatch(effect, Vst2::effGetVendorString, vendor.bytes);
    dispatch(effect, Vst2::effGetProductString, product.bytes);

    QString name = effectName.text();
    if (name.isEmpty())
        name = product.text();
    if (name.isEmpty())
        name = QFileInfo(path).baseName();

    info.pluginfn = path;
    info.name = name;
    info.type = QStringLiteral("VST");
    info.vendor = vendor.text();
    // Channel counts may only be settled once the effect is open.
    info.inchans = effect->numInputs;
    info.outchans = effect->numOutputs;
    if (details)
        *details = askDetails(effect);

    dispatch(effect, Vst2::effClose);
}

} // namespace

PluginInfo probeLibrary(QString path, Vst2Details *details)
{
    PluginInfo info;

    if (!bannedEntryIn(path).isEmpty()) {
        qDebug().noquote() << quoted(path) << banLineText();
        return info;
    }

    // Only a regular file (links followed) is opened for loading: the loader
    // would block forever on a FIFO, and a device or socket is no library.
    const QFileInfo file(path);
    if (!file.isFile())
        return info;

    // Load by absolute path so that a relative argument loads the file that
    // exists here, not a namesake from the loader's search path.
    QLibrary library(file.absoluteFilePath());
    if (library.load() && library.isLoaded()) {
        if (const Vst2::EntryPoint entry = resolveEntryPoint(library)) {
            if (Vst2::AEffect *effect = entry(hostCallback)) {
                if (effect->flags & Vst2::effFlagsIsSynth)
                    inspectInstrument(effect, path, info, details);
                else
                    inspectEffect(effect, path, info, details);
            }
        }
    }
    library.unload();
    return info;
}
