#include "emptystore.h"

#include "contract/settingskey.h"

#include <QSettings>
#include <QStringList>

void emptyStore(QSettings &store, const QString &scannedPath)
{
    const bool holdsScannedPath
        = !scannedPath.isEmpty() && store.childGroups().contains(settingsKeyForPath(scannedPath));
    store.clear();
    if (holdsScannedPath)
        store.sync();
}
