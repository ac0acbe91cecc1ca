#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// One plug-in as a host stores it, whatever its format. A file (a VST 2
// library, a VST 3 bundle, a CLAP file, an LV2 bundle, a LADSPA library)
// holds zero or more of them. A value the format does not tell stays
// absent (an empty text, an empty optional), never a made-up zero.
struct PluginDescription
{
    QString format; // "vst2", "vst3", "clap", "lv2", "ladspa", "dssi"
    QString id;     // what hosts recall a session by: the VST 2 and LADSPA unique IDs in decimal,
                    // the VST 3 class ID as 32 hex digits, the CLAP id, the LV2 URI
    QString fourcc; // VST 2: the unique ID as four characters, most significant first
    QString label;  // LADSPA and DSSI: the label, which with the unique ID names the plug-in
    QString name;
    QString vendor;
    QString version;
    QString category;                      // in the format's own words
    QString kind;                          // one of the kinds below
    std::optional<qint64> audioInputs;     // channels of the main input bus
    std::optional<qint64> audioOutputs;    // channels of the main output bus
    std::optional<qint64> audioInputsAll;  // channels of every input bus, side-chains included
    std::optional<qint64> audioOutputsAll; // channels of every output bus
    std::optional<qint64> midiInputs;      // MIDI or event inputs (ports or buses)
    std::optional<qint64> midiOutputs;
    std::optional<bool> editor; // has a GUI of its own
    std::optional<qint64> parameters;
    std::optional<qint64> programs;      // VST 2: factory programs
    std::optional<bool> replacing;       // VST 2: processes replacing
    std::optional<qint64> vendorVersion; // VST 2: effGetVendorVersion
    QString copyright;                   // LADSPA and DSSI
    QString description;                 // CLAP: the plug-in's own words about itself
    QString file;                        // the file the plug-in's code (or data) is in
    QString bundle;                      // the bundle folder, for formats that have them
    std::optional<qint64> index;         // its place among the file's plug-ins
};

// The common kinds, whatever the format calls them.
namespace PluginKind {
inline QString instrument()
{
    return QStringLiteral("instrument");
}
inline QString effect()
{
    return QStringLiteral("effect");
}
inline QString noteEffect()
{
    return QStringLiteral("note-effect");
}
inline QString analyzer()
{
    return QStringLiteral("analyzer");
}
inline QString other()
{
    return QStringLiteral("other");
}
} // namespace PluginKind

// The one table of a description's fields: its key (in JSON, the scan
// server's frames and the C accessors), its type and its member. Every
// reader and writer walks it, so a new field is one line there.
struct DescriptionField
{
    enum class Type { Text, Number, Flag };
    const char *key;
    Type type;
    QString PluginDescription::*text = nullptr;
    std::optional<qint64> PluginDescription::*number = nullptr;
    std::optional<bool> PluginDescription::*flag = nullptr;
};

// In the order the C interface numbers them (ombrel_field).
const QList<DescriptionField> &descriptionFields();

// The fields that are there, under their keys; absent ones are left out.
QJsonObject descriptionToJson(const PluginDescription &description);
// Takes what is there and of the field's type; anything else stays absent.
PluginDescription descriptionFromJson(const QJsonObject &object);

QJsonArray descriptionsToJson(const QList<PluginDescription> &descriptions);
QList<PluginDescription> descriptionsFromJson(const QJsonArray &array);
