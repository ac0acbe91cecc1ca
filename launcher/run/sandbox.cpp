#include "launcher/run/sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <algorithm>

namespace ombrel {

namespace {

const QStringList kNamespaces = {
    // The user namespace is asked for explicitly: --unshare-all would go
    // on without it where it is refused.
    QStringLiteral("--unshare-user"),
    QStringLiteral("--unshare-pid"),
    QStringLiteral("--unshare-net"),
    QStringLiteral("--unshare-ipc"),
    QStringLiteral("--unshare-uts"),
    QStringLiteral("--unshare-cgroup-try"),
    QStringLiteral("--disable-userns"),
    QStringLiteral("--die-with-parent"),
    QStringLiteral("--new-session"),
    // Run by root, bwrap would keep every capability inside, and with it
    // the right to open the server's memory through /proc however it is
    // protected.
    QStringLiteral("--cap-drop"),
    QStringLiteral("ALL"),
};

// The system, read-only: merged /usr with its links, or real folders.
QStringList systemMounts()
{
    QStringList arguments = {QStringLiteral("--ro-bind"), QStringLiteral("/usr"), QStringLiteral("/usr"),
                             QStringLiteral("--ro-bind"), QStringLiteral("/etc"), QStringLiteral("/etc")};
    for (const char *top : {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"}) {
        const QString path = QString::fromLatin1(top);
        const QFileInfo info(path);
        if (info.isSymLink())
            arguments << QStringLiteral("--symlink") << info.symLinkTarget() << path;
        else if (info.isDir())
            arguments << QStringLiteral("--ro-bind") << path << path;
    }
    return arguments << QStringLiteral("--proc") << QStringLiteral("/proc") << QStringLiteral("--dev")
                     << QStringLiteral("/dev");
}

QStringList keptEnvironment()
{
    // The locale sets how the scanner's lines are encoded; the sanitizer
    // options are for sanitized builds of our own.
    static const QStringList names = {
        QStringLiteral("PATH"),         QStringLiteral("LANG"),         QStringLiteral("LANGUAGE"),
        QStringLiteral("TZ"),           QStringLiteral("ASAN_OPTIONS"), QStringLiteral("UBSAN_OPTIONS"),
        QStringLiteral("LSAN_OPTIONS"), QStringLiteral("USER"),         QStringLiteral("LOGNAME"),
    };
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QStringList arguments = {QStringLiteral("--clearenv")};
    for (const QString &name : environment.keys()) {
        if (names.contains(name) || name.startsWith(QLatin1String("LC_")))
            arguments << QStringLiteral("--setenv") << name << environment.value(name);
    }
    const QString home = sandboxHome();
    arguments << QStringLiteral("--setenv") << QStringLiteral("HOME") << home;
    for (const auto &[name, folder] :
         {std::pair{"XDG_CONFIG_HOME", "/.config"}, std::pair{"XDG_CACHE_HOME", "/.cache"},
          std::pair{"XDG_DATA_HOME", "/.local/share"}, std::pair{"XDG_STATE_HOME", "/.local/state"}})
        arguments << QStringLiteral("--setenv") << QString::fromLatin1(name) << home + QLatin1String(folder);
    return arguments << QStringLiteral("--setenv") << QStringLiteral("TMPDIR") << QStringLiteral("/tmp");
}

QString readSysctl(const char *file)
{
    QFile value(QString::fromLatin1(file));
    return value.open(QIODevice::ReadOnly) ? QString::fromLatin1(value.readAll().trimmed()) : QString();
}

// Why bubblewrap could not make the namespaces, and what mends it.
QString refusalCause(const QString &said)
{
    if (readSysctl("/proc/sys/user/max_user_namespaces") == QLatin1String("0"))
        return QStringLiteral("user namespaces are turned off (user.max_user_namespaces = 0); "
                              "allow them with 'sysctl -w user.max_user_namespaces=15000'");
    if (readSysctl("/proc/sys/kernel/unprivileged_userns_clone") == QLatin1String("0"))
        return QStringLiteral("unprivileged user namespaces are turned off (kernel.unprivileged_userns_clone = 0); "
                              "allow them with 'sysctl -w kernel.unprivileged_userns_clone=1'");
    if (readSysctl("/proc/sys/kernel/apparmor_restrict_unprivileged_userns") == QLatin1String("1"))
        return QStringLiteral("AppArmor keeps unprivileged programs from user namespaces "
                              "(kernel.apparmor_restrict_unprivileged_userns = 1); give bwrap an AppArmor "
                              "profile that allows them (the bubblewrap package's, where it has one)");
    return QStringLiteral("bwrap could not make its namespaces (%1); in a container, allow user namespaces "
                          "in its settings")
        .arg(said.isEmpty() ? QStringLiteral("no reason given") : said);
}

} // namespace

QString sandboxHome()
{
    // The user's own home path, empty: what plug-ins expect to find,
    // without what is in it. Accounts without a real one get a made-up one.
    const QString home = QDir::homePath();
    if (home == QLatin1String("/") || !QDir::isAbsolutePath(home) || home.startsWith(QLatin1String("/usr"))
        || home.startsWith(QLatin1String("/etc")) || home.startsWith(QLatin1String("/proc"))
        || home.startsWith(QLatin1String("/dev")))
        return QStringLiteral("/home/plugin-scan");
    return QDir::cleanPath(home);
}

SandboxCheck checkSandbox()
{
    SandboxCheck check;
    check.bubblewrap = QStandardPaths::findExecutable(QStringLiteral("bwrap"));
    if (check.bubblewrap.isEmpty()) {
        check.problem = QStringLiteral("bubblewrap (bwrap) is not installed; install it with "
                                       "'apt-get install bubblewrap'");
        return check;
    }
    QProcess probe;
    probe.setProgram(check.bubblewrap);
    probe.setArguments(QStringList(kNamespaces) << systemMounts() << QStringLiteral("--as-pid-1")
                                                << QStringLiteral("--") << QStringLiteral("/usr/bin/true"));
    probe.start();
    const bool ended = probe.waitForFinished(10000);
    if (ended && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0) {
        check.available = true;
        return check;
    }
    if (!ended)
        probe.kill();
    const QString said
        = QString::fromLocal8Bit(probe.readAllStandardError()).trimmed().section(QLatin1Char('\n'), 0, 0);
    check.problem = ended ? refusalCause(said) : QStringLiteral("bwrap did not answer within 10 seconds");
    return check;
}

QStringList sandboxArguments(const SandboxLayout &layout)
{
    QStringList arguments = kNamespaces;
    arguments << QStringLiteral("--as-pid-1") << systemMounts();
    const QString home = sandboxHome();
    for (const QString &folder :
         {QStringLiteral("/tmp"), QStringLiteral("/var/tmp"), QStringLiteral("/dev/shm"), QStringLiteral("/run"), home})
        arguments << QStringLiteral("--size") << QString::number(layout.tmpfsBytes) << QStringLiteral("--tmpfs")
                  << folder;
    // Parents before children, so that no bind hides another.
    QStringList readOnly = layout.readOnly;
    readOnly << QFileInfo(layout.server).absolutePath();
    for (QString &folder : readOnly)
        folder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    std::sort(readOnly.begin(), readOnly.end(),
              [](const QString &a, const QString &b) { return a.size() != b.size() ? a.size() < b.size() : a < b; });
    readOnly.removeDuplicates();
    for (const QString &folder : readOnly) {
        if (folder != QLatin1String("/"))
            arguments << QStringLiteral("--ro-bind-try") << folder << folder;
    }
    if (layout.workingFolder != QLatin1String("/"))
        arguments << QStringLiteral("--dir") << layout.workingFolder;
    arguments << QStringLiteral("--chdir") << layout.workingFolder << keptEnvironment();
    return arguments << QStringLiteral("--") << layout.server << home + QStringLiteral("/.scan-stores")
                     << QStringLiteral("--namespace-init");
}

} // namespace ombrel
