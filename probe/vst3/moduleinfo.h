#pragma once

#include "contract/plugindescription.h"

#include <QList>
#include <QString>

// What a bundle's moduleinfo.json says of its module, read without loading
// the binary: enough to name its plug-ins where the binary cannot load here.
struct ModuleInfo
{
    QString file; // the moduleinfo.json read
    QString vendor;
    QList<PluginDescription> plugins; // its audio module classes, vst3 fields filled from the file
};

// Looks in Contents/Resources/ (current bundles) and then Contents/ (older
// ones). Returns false when neither holds the file (*error empty) or the
// one there cannot be read or is no module description (*error says why).
// Members of the wrong type or missing are left out of a class rather than
// refusing the file: the file is a hint, and a lenient one serves better.
bool readModuleInfo(const QString &bundle, ModuleInfo *info, QString *error);

// The same from the file's bytes.
bool moduleInfoFromBytes(const QByteArray &bytes, ModuleInfo *info, QString *error);
