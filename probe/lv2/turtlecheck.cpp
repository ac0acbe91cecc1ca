#include "turtlecheck.h"

#include <QFile>
#include <QFileInfo>

#include <serd/serd.h>

#include <cstdarg>
#include <cstdio>

namespace {

SerdStatus keepFirstError(void *handle, const SerdError *error)
{
    auto *first = static_cast<QString *>(handle);
    if (!first->isEmpty())
        return SERD_SUCCESS;
    char what[256];
    va_list args;
    va_copy(args, *error->args);
    std::vsnprintf(what, sizeof what, error->fmt, args);
    va_end(args);
    *first = QStringLiteral("%1:%2: %3").arg(error->line).arg(error->col).arg(QString::fromUtf8(what).trimmed());
    return SERD_SUCCESS;
}

} // namespace

QString turtleError(const QString &file)
{
    QString error;
    SerdReader *reader = serd_reader_new(SERD_TURTLE, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    serd_reader_set_error_sink(reader, keepFirstError, &error);
    const QByteArray path = QFile::encodeName(QFileInfo(file).absoluteFilePath());
    SerdNode uri = serd_node_new_file_uri(reinterpret_cast<const uint8_t *>(path.constData()), nullptr, nullptr, true);
    const SerdStatus status = serd_reader_read_file(reader, uri.buf);
    serd_node_free(&uri);
    serd_reader_free(reader);
    if (status == SERD_SUCCESS)
        return QString();
    if (error.isEmpty())
        error = QString::fromUtf8(reinterpret_cast<const char *>(serd_strerror(status)));
    return QFileInfo(file).fileName() + QLatin1Char(':') + error;
}
