#include "plugindescription.h"

#include <QJsonArray>
#include <QJsonValue>

#include <cmath>

namespace {

using Type = DescriptionField::Type;
using D = PluginDescription;

DescriptionField text(const char *key, QString D::*member)
{
    return DescriptionField{key, Type::Text, member, nullptr, nullptr};
}
DescriptionField number(const char *key, std::optional<qint64> D::*member)
{
    return DescriptionField{key, Type::Number, nullptr, member, nullptr};
}
DescriptionField flag(const char *key, std::optional<bool> D::*member)
{
    return DescriptionField{key, Type::Flag, nullptr, nullptr, member};
}

} // namespace

const QList<DescriptionField> &descriptionFields()
{
    // Appended to only: the C interface numbers the fields in this order.
    static const QList<DescriptionField> fields = {
        text("format", &D::format),
        text("id", &D::id),
        text("fourcc", &D::fourcc),
        text("label", &D::label),
        text("name", &D::name),
        text("vendor", &D::vendor),
        text("version", &D::version),
        text("category", &D::category),
        text("kind", &D::kind),
        number("audioInputs", &D::audioInputs),
        number("audioOutputs", &D::audioOutputs),
        number("audioInputsAll", &D::audioInputsAll),
        number("audioOutputsAll", &D::audioOutputsAll),
        number("midiInputs", &D::midiInputs),
        number("midiOutputs", &D::midiOutputs),
        flag("editor", &D::editor),
        number("parameters", &D::parameters),
        number("programs", &D::programs),
        flag("replacing", &D::replacing),
        number("vendorVersion", &D::vendorVersion),
        text("copyright", &D::copyright),
        text("description", &D::description),
        text("file", &D::file),
        text("bundle", &D::bundle),
        number("index", &D::index),
    };
    return fields;
}

QJsonObject descriptionToJson(const PluginDescription &description)
{
    QJsonObject object;
    for (const DescriptionField &field : descriptionFields()) {
        const QString key = QString::fromLatin1(field.key);
        switch (field.type) {
        case Type::Text:
            if (!(description.*field.text).isEmpty())
                object.insert(key, description.*field.text);
            break;
        case Type::Number:
            // JSON numbers hold every 32-bit ID and count exactly.
            if (const auto value = description.*field.number)
                object.insert(key, double(*value));
            break;
        case Type::Flag:
            if (const auto value = description.*field.flag)
                object.insert(key, *value);
            break;
        }
    }
    return object;
}

PluginDescription descriptionFromJson(const QJsonObject &object)
{
    PluginDescription description;
    for (const DescriptionField &field : descriptionFields()) {
        const QJsonValue value = object.value(QString::fromLatin1(field.key));
        switch (field.type) {
        case Type::Text:
            if (value.isString())
                description.*field.text = value.toString();
            break;
        case Type::Number:
            // What a scan wrote is untrusted: a number past 2^53 is none of ours.
            if (value.isDouble() && std::abs(value.toDouble()) <= 9007199254740992.0)
                description.*field.number = qint64(value.toDouble());
            break;
        case Type::Flag:
            if (value.isBool())
                description.*field.flag = value.toBool();
            break;
        }
    }
    return description;
}

QJsonArray descriptionsToJson(const QList<PluginDescription> &descriptions)
{
    QJsonArray array;
    for (const PluginDescription &description : descriptions)
        array.append(descriptionToJson(description));
    return array;
}

QList<PluginDescription> descriptionsFromJson(const QJsonArray &array)
{
    QList<PluginDescription> descriptions;
    for (const QJsonValue &value : array) {
        if (value.isObject())
            descriptions.append(descriptionFromJson(value.toObject()));
    }
    return descriptions;
}
