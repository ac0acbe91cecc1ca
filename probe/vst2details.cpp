#include "vst2details.h"

#include "vst2.h"

#include "contract/storerecord.h"

#include <iterator>

namespace {

using Vst2::dispatch;

bool canDo(Vst2::AEffect *effect, const char *what)
{
    // 1 is yes; 0 don't know and -1 no.
    return dispatch(effect, Vst2::effCanDo, const_cast<char *>(what)) == 1;
}

const char *const kCategories[] = {
    "unknown",     "effect",          "synth",       "analysis",        "mastering", "spacializer",
    "room effect", "surround effect", "restoration", "offline process", "shell",     "generator",
};

} // namespace

Vst2Details askDetails(Vst2::AEffect *effect)
{
    Vst2Details details;
    details.asked = true;
    details.uniqueID = effect->uniqueID;
    details.version = effect->version;
    details.flags = effect->flags;
    details.parameters = effect->numParams;
    details.programs = effect->numPrograms;
    details.replacing = (effect->flags & Vst2::effFlagsCanReplacing) != 0;
    details.category = dispatch(effect, Vst2::effGetPlugCategory);
    details.vendorVersion = dispatch(effect, Vst2::effGetVendorVersion);
    details.vstVersion = dispatch(effect, Vst2::effGetVstVersion);
    details.receivesMidi = canDo(effect, "receiveVstMidiEvent") || canDo(effect, "receiveVstEvents");
    details.sendsMidi = canDo(effect, "sendVstMidiEvent") || canDo(effect, "sendVstEvents");
    return details;
}

QString fourCharacterCode(int32_t uniqueID)
{
    QString code;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char byte = char((quint32(uniqueID) >> shift) & 0xff);
        if (byte < 0x20 || byte > 0x7e)
            return QString();
        code += QLatin1Char(byte);
    }
    return code;
}

QString categoryName(intptr_t category)
{
    if (category >= 0 && category < intptr_t(std::size(kCategories)))
        return QString::fromLatin1(kCategories[category]);
    return QString::number(qint64(category));
}

PluginDescription describeVst2(const PluginInfo &info, const Vst2Details &details)
{
    PluginDescription description = describeRecord(info);
    if (!details.asked)
        return description;
    // 0 is no ID: hosts recall such a plug-in by its file.
    if (details.uniqueID != 0) {
        description.id = QString::number(details.uniqueID);
        description.fourcc = fourCharacterCode(details.uniqueID);
    }
    description.version = QString::number(details.version);
    description.category = categoryName(details.category);
    const bool synth = info.instrument || details.category == Vst2::kPlugCategSynth;
    if (synth)
        description.kind = PluginKind::instrument();
    else if (details.category == Vst2::kPlugCategAnalysis)
        description.kind = PluginKind::analyzer();
    else if (details.category == Vst2::kPlugCategShell || details.category == Vst2::kPlugCategOfflineProcess)
        description.kind = PluginKind::other();
    else
        description.kind = PluginKind::effect();
    description.midiInputs = (details.receivesMidi || synth) ? 1 : 0;
    description.midiOutputs = details.sendsMidi ? 1 : 0;
    description.editor = (details.flags & Vst2::effFlagsHasEditor) != 0;
    description.parameters = details.parameters;
    description.programs = details.programs;
    description.replacing = details.replacing;
    if (details.vendorVersion != 0)
        description.vendorVersion = qint64(details.vendorVersion);
    return description;
}
