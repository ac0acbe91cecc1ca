#include "options.h"

#include "launcher/library/libraryscan.h"

#include <QThread>

#include <cmath>

namespace {

constexpr int kMaxJobs = 1024;
constexpr double kMinTimeout = 0.1;
constexpr double kMaxTimeout = 86400;

} // namespace

bool parseJobs(const QString &text, int *jobs, QString *error)
{
    bool digitsOnly = !text.isEmpty() && text.size() <= 4;
    for (const QChar c : text)
        digitsOnly = digitsOnly && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int value = digitsOnly ? text.toInt() : 0;
    if (value < 1 || value > kMaxJobs) {
        *error = QStringLiteral("--jobs: expected a whole number from 1 to %1, not \"%2\"").arg(kMaxJobs).arg(text);
        return false;
    }
    *jobs = value;
    return true;
}

bool parseTimeout(const QString &text, int *milliseconds, QString *error)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    // nan and inf parse, and would take the limit away.
    if (!ok || !std::isfinite(seconds) || seconds < kMinTimeout || seconds > kMaxTimeout) {
        *error = QStringLiteral("--timeout: expected a number of seconds from 0.1 to 86400, not \"%1\"").arg(text);
        return false;
    }
    *milliseconds = int(std::lround(seconds * 1000));
    return true;
}

int defaultJobs()
{
    return qBound(1, QThread::idealThreadCount(), kMaxJobs);
}

bool parseMemoryLimit(const QString &text, qint64 *bytes, QString *error)
{
    static const QString units = QStringLiteral("KMGT");
    QString digits = text.trimmed().toUpper();
    int shift = 0;
    if (!digits.isEmpty() && units.contains(digits.back())) {
        shift = 10 * (int(units.indexOf(digits.back())) + 1);
        digits.chop(1);
    }
    bool number = !digits.isEmpty() && digits.size() <= 13;
    for (const QChar c : digits)
        number = number && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const qint64 value = number ? digits.toLongLong() : -1;
    constexpr qint64 kLeast = qint64(16) << 20;
    constexpr qint64 kMost = qint64(1) << 40;
    if (value == 0 || (value > 0 && value <= (kMost >> shift) && (value << shift) >= kLeast)) {
        *bytes = value << shift;
        return true;
    }
    *error = QStringLiteral("--memory-limit: expected a size from 16M to 1T (or 0 for none), not \"%1\"").arg(text);
    return false;
}

bool parseSandboxMode(const QString &text, ombrel::SandboxMode *mode, QString *error)
{
    if (text == QLatin1String("auto"))
        *mode = ombrel::SandboxMode::Auto;
    else if (text == QLatin1String("require"))
        *mode = ombrel::SandboxMode::Require;
    else if (text == QLatin1String("off"))
        *mode = ombrel::SandboxMode::Off;
    else {
        *error = QStringLiteral("--sandbox: expected auto, require or off, not \"%1\"").arg(text);
        return false;
    }
    return true;
}

bool parseFormats(const QString &text, QStringList *formats, QString *error)
{
    QStringList names;
    for (const QString &name : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString trimmed = name.trimmed();
        if (!ombrel::scannableFormats().contains(trimmed)) {
            *error = QStringLiteral("--format takes format names separated by ',' (%1), not '%2'")
                         .arg(formatNames().join(QStringLiteral(", ")), name);
            return false;
        }
        if (!names.contains(trimmed))
            names << trimmed;
    }
    if (names.isEmpty()) {
        *error = QStringLiteral("--format takes at least one of %1").arg(formatNames().join(QStringLiteral(", ")));
        return false;
    }
    *formats = names;
    return true;
}

QStringList formatNames()
{
    return ombrel::scannableFormats();
}
