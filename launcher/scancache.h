#pragma once

#include "scanresult.h"

#include <QJsonObject>
#include <QString>

// What earlier runs found, keyed by plug-in path, so that a run scans only
// new or changed files. An entry holds the file's size and modification
// time and the scanner's identity when it was scanned; it stands for the
// file while all three are unchanged. The file is replaced atomically, so a
// reader or an interrupted writer never sees half of it.
class ScanCache
{
public:
    ScanCache(QString file, QString scannerIdentity);

    // Reads the file. A missing file is an empty cache; one that cannot be
    // parsed also starts empty, with a warning saying why.
    void load(QString *warning);

    // Writes the whole cache to a temporary file and renames it into place.
    bool save(QString *error) const;

    // The cached result for the file if it still stands for it.
    bool lookup(const QString &path, ScanResult *result) const;

    // The cached result for the file, even if the file or the scanner
    // changed since; the path may be spelled otherwise than the key.
    bool find(const QString &path, ScanResult *result) const;

    // Records a finished scan. Missing files have nothing to be keyed by.
    void insert(const ScanResult &result);

    QString fileName() const { return m_file; }

private:
    QString m_file;
    QString m_identity;
    QJsonObject m_entries;
};

// The scanner's identity: its binary's size and modification time, which
// change with every build or upgrade.
QString scannerIdentity(const QString &scannerPath);

// Where the cache lives by default: the user's cache folder.
QString defaultCacheFile();
