#include "options.h"

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
