#pragma once

#include "launcher/core/scanresult.h"

#include <QHash>
#include <QJsonObject>
#include <QString>

namespace ombrel {

// What earlier runs found, keyed by plug-in path, so that a run scans only
// new or changed files. An entry holds the file's size and modification
// time as they were before it was scanned and the scanner's identity; it
// stands for the file while all three are unchanged.
//
// Two files: the cache itself, replaced atomically, so a reader never sees
// half of it; and beside it a journal ("<file>.journal") where each result
// is appended the moment it is recorded, so a run killed outright loses
// nothing recorded. save() folds the journal into the cache. Appends take
// a shared lock on the journal and save() an exclusive one, so runs that
// share a cache keep each other's results.
class ScanCache
{
public:
    ScanCache(QString file, QString scannerIdentity);
    ~ScanCache();
    ScanCache(const ScanCache &) = delete;
    ScanCache &operator=(const ScanCache &) = delete;

    // Reads the file and the journal. A missing file is an empty cache;
    // one that cannot be parsed also starts empty, with a warning saying
    // why. One written by the earlier version is read, with a warning that
    // its ok results are scanned again. Journal lines cut short by a kill
    // are skipped.
    void load(QString *warning);

    // Under the exclusive lock: reads what is saved now (other runs' results
    // included), adds this run's results that the journal lacks, writes the
    // whole cache to a temporary file, flushes it and renames it into place,
    // then empties the journal. On any failure the previous file stays as
    // it was, the journal keeps its results, and *error names the file and
    // the reason.
    bool save(QString *error);

    // The cached result for the file as that format if it still stands for
    // it: the file's stamp and the scanners are those it was scanned under.
    // What a run uses.
    bool lookupCurrent(const QString &path, const QString &format, ScanResult *result) const;

    // The results last recorded for the file, one per format it was
    // scanned as (VST 2 first), even if the file or the scanners changed
    // since; the path may be spelled otherwise than the key (relative,
    // through a link). What --log shows; empty when there is none.
    QList<ScanResult> lookupRecorded(const QString &path) const;

    // Records a finished scan under the file's stamp taken before the scan
    // (fileStamp(), files/filestamp.h), and appends it to the journal at once. Missing files
    // have nothing to be keyed by; failures on the launcher's side are not
    // the plug-in's and are not recorded. False, with *error, when the
    // append failed: the result is still kept for save().
    bool insert(const ScanResult &result, const QString &stamp, QString *error);

    QString fileName() const { return m_file; }

private:
    bool openJournal(QString *error);
    void replayJournal(const QByteArray &journal, QHash<QString, QJsonObject> *entries) const;
    bool readCache(QHash<QString, QJsonObject> *entries, QString *problem, bool *earlier) const;

    QString m_file;
    QString m_identity;
    QHash<QString, QJsonObject> m_entries;
    // Entries (an empty object: removed) that could not be appended.
    QHash<QString, QJsonObject> m_unjournaled;
    int m_journal = -1;
};

// Where the cache lives by default: the user's cache folder.
QString defaultCacheFile();

} // namespace ombrel
