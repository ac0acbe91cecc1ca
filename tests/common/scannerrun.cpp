#include "scannerrun.h"

#include <QSettings>

ScanRun runScanner(const QStringList &args, const QString &configHome, const QProcessEnvironment &extraEnv,
                   const QString &workingDirectory, int timeoutMs)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    for (const QString &key : extraEnv.keys())
        env.insert(key, extraEnv.value(key));

    QProcess process;
    process.setProcessEnvironment(env);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(SCANNER_PATH), args);
    ScanRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.timedOut = true;
        return run;
    }
    run.exitStatus = process.exitStatus();
    run.exitCode = process.exitCode();
    run.stdoutBytes = process.readAllStandardOutput();
    const QString err = QString::fromUtf8(process.readAllStandardError());
    run.stderrLines = err.split(QLatin1Char('\n'));
    if (run.stderrLines.constLast().isEmpty())
        run.stderrLines.removeLast();
    return run;
}

QProcessEnvironment asanOptions(const QString &options)
{
    const QString inherited = QProcessEnvironment::systemEnvironment().value(QStringLiteral("ASAN_OPTIONS"));
    QProcessEnvironment env;
    env.insert(QStringLiteral("ASAN_OPTIONS"), inherited.isEmpty() ? options : inherited + QLatin1Char(':') + options);
    return env;
}

QString storeFilePath(const QString &configHome)
{
    return configHome + QStringLiteral("/Kestrune/OmbrelPluginScanner.ini");
}

StoreContents readStore(const QString &configHome)
{
    QSettings store(storeFilePath(configHome), QSettings::IniFormat);
    StoreContents contents;
    for (const QString &key : store.allKeys()) {
        const int slash = key.indexOf(QLatin1Char('/'));
        contents[key.left(slash)][key.mid(slash + 1)] = store.value(key).toString();
    }
    return contents;
}

QString testPluginPath(const QString &variant)
{
    // The plug-ins that try to do harm are kept out of the folder that
    // people scan as a sample.
    const QString folder = variant.startsWith(QLatin1String("abuse_")) ? QStringLiteral(TEST_PLUGIN_DIR "/../abuse")
                                                                       : QStringLiteral(TEST_PLUGIN_DIR);
    return folder + QLatin1Char('/') + variant + QStringLiteral(TEST_PLUGIN_SUFFIX);
}
