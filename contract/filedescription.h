#pragma once

#include "plugindescription.h"

#include <QByteArray>
#include <QList>
#include <QString>

// What a scan that describes a file leaves beside the scanner's exit code.
// The launching side asks for it by naming a file in the environment
// variable below (the scan server's built-in scans are handed it
// directly); a scanner started by a host is never asked, and its
// conversation, lines, exit codes and store stay as they are.
struct FileDescription
{
    QList<PluginDescription> plugins;
    QString cause; // why the file holds nothing this format loads, where the scan can tell
    QString note;  // what a host should know of plug-ins named all the same
                   // (named from data beside a binary that did not load, say)
};

// The file to write the description to.
inline const char *descriptionFileVariable()
{
    return "OMBREL_DESCRIPTION_FILE";
}

// The format to read the file as: "vst2" (and when unset), or another of
// PluginDescription::format's names.
inline const char *scanFormatVariable()
{
    return "OMBREL_SCAN_FORMAT";
}

QByteArray fileDescriptionToBytes(const FileDescription &description);
// False when the bytes are not a description.
bool fileDescriptionFromBytes(const QByteArray &bytes, FileDescription *description);

// False when it could not be written whole; a file cut short (the scan
// died while writing) does not read as a description.
bool writeFileDescription(const QString &file, const FileDescription &description);
// False when there is no such file or it holds no description.
bool readFileDescription(const QString &file, FileDescription *description);
