#include "untrustedtext.h"

#include <QByteArray>

QString untrustedText(const char *bytes)
{
    if (!bytes)
        return QString();
    return QString::fromUtf8(bytes, int(qstrnlen(bytes, kMaxUntrustedTextBytes)));
}
