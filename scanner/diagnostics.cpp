#include "diagnostics.h"

#include <QLoggingCategory>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstring>

namespace {

QtMessageHandler qtMessageHandler = nullptr;
QLoggingCategory::CategoryFilter qtCategoryFilter = nullptr;

bool isDefaultCategory(const char *category)
{
    return category && std::strcmp(category, "default") == 0;
}

void writeMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg || !isDefaultCategory(context.category)) {
        if (qtMessageHandler)
            qtMessageHandler(type, context, message);
        return;
    }
    // One write per line, so that lines from other threads never interleave
    // within a line.
    const QByteArray line = diagnosticLineBytes(message);
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

// Qt calls this for every category whenever its rules change, so rules read
// later from the environment or from qtlogging.ini cannot switch it off.
void keepDefaultDebugOn(QLoggingCategory *category)
{
    if (qtCategoryFilter)
        qtCategoryFilter(category);
    if (isDefaultCategory(category->categoryName()))
        category->setEnabled(QtDebugMsg, true);
}

} // namespace

QByteArray diagnosticLineBytes(const QString &text)
{
    return text.toLocal8Bit() + '\n';
}

void installDiagnosticOutput()
{
    qunsetenv("QT_FATAL_WARNINGS");
    qunsetenv("QT_FATAL_CRITICALS");
    qtMessageHandler = qInstallMessageHandler(writeMessage);
    qtCategoryFilter = QLoggingCategory::installFilter(keepDefaultDebugOn);
}
