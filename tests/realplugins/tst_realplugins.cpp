// Real plug-ins from the distribution, scanned as a host would.
#include "common/scannerrun.h"
#include "store/settingskey.h"
#include <QtTest>
class RealPluginsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dpf() {}
};
QTEST_GUILESS_MAIN(RealPluginsTest)
#include "tst_realplugins.moc"
