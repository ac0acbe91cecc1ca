#pragma once

#include <QString>
#include <QStringList>

namespace ombrel {

// Folders for the scanner processes' private result stores, never the
// user's own store. Each launcher makes one run folder
// ("ombrel-scan-run.XXXXXX") in the first temporary folder where it can:
// TMPDIR, /tmp, /var/tmp, XDG_RUNTIME_DIR. It holds a lock on a file inside
// for as long as it lives, and one sub-folder per scan. A run folder whose
// lock is free belongs to a launcher that was killed: the next launcher to
// look removes it.
class PrivateStores
{
public:
    PrivateStores();
    ~PrivateStores(); // removes the run folder and everything in it
    PrivateStores(const PrivateStores &) = delete;
    PrivateStores &operator=(const PrivateStores &) = delete;

    // A new empty folder for one scan's store; an empty string, and in
    // *error where and why, when none can be made.
    QString newFolder(QString *error);

    // Removes a folder that newFolder() gave.
    static void remove(const QString &folder);

    // Where run folders are looked for and made, in order of preference.
    static QStringList baseFolders();

private:
    bool openRunFolder(QString *error);

    QString m_runFolder;
    int m_lockFd = -1;
};

} // namespace ombrel
