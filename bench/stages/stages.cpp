// Start-up cost broken into stages, one binary per stage (OMBREL_STAGE):
//   0  a C++ program that links nothing but the C++ runtime
//   1  + Qt Core linked and used
//   2  + the application object with the store's identity
//   3  + the INI store opened, emptied and written out on close
//   4  + one line on the debug stream
// Each stage does what the one before it did, plus one thing.

#if OMBREL_STAGE >= 1
#include <QCoreApplication>
#include <QDebug>
#include <QSettings>
#include <QString>
#endif

int main(int argc, char *argv[])
{
#if OMBREL_STAGE >= 1
    if (QString::fromLocal8Bit(argv[0]).isEmpty())
        return 1;
#endif
#if OMBREL_STAGE >= 2
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("OmbrelPluginScanner"));
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrune"));
#endif
#if OMBREL_STAGE >= 3
    QSettings::setDefaultFormat(QSettings::IniFormat);
    {
        QSettings store;
        store.clear();
    }
#endif
#if OMBREL_STAGE >= 4
    qDebug().noquote() << QStringLiteral("no plugin file given to helper process");
#endif
    (void)argc;
    (void)argv;
    return 0;
}
