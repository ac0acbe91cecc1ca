#pragma once

#include <QString>

#include <cstdint>

// What the probe learned about one plug-in. An empty name means it found
// nothing usable; every other field is then meaningless.
struct PluginInfo
{
    QString name;
    QString pluginfn; // the path exactly as handed to the probe
    QString type;     // "VST" once an effect instance was obtained
    QString vendor;
    int32_t outchans = 0;
    int32_t inchans = 0;
    bool instrument = false;
};
