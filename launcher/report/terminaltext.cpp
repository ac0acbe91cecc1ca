#include "launcher/report/terminaltext.h"

namespace ombrel {

namespace {

bool needsEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x200e || c == 0x200f || (c >= 0x202a && c <= 0x202e)
        || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString escapedForTerminal(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (!needsEscape(c))
            escaped += qc;
        else if (c == u'\n')
            escaped += QLatin1String("\\n");
        else if (c == u'\t')
            escaped += QLatin1String("\\t");
        else if (c == u'\r')
            escaped += QLatin1String("\\r");
        else if (c <= 0xff)
            escaped += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        else
            escaped += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    }
    return escaped;
}

} // namespace ombrel
