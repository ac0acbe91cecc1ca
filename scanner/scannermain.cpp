#include "scannermain.h"

#include "diagnostics.h"
#include "scansession.h"

#include "contract/identity.h"
#include "contract/outcome.h"
#include "store/resultstore.h"

#include <QCoreApplication>

int runScanner(int argc, char *argv[], const QString &storeFile, const std::optional<DescribeRequest> &describe)
{
    installDiagnosticOutput();
    int result = OutcomeNoPluginGiven;
    {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(storeApplicationName());
        QCoreApplication::setOrganizationName(storeOrganizationName());
        result = scanIntoStore(QCoreApplication::arguments(), storeFile.isEmpty() ? ResultStore::userFile() : storeFile,
                               describe ? *describe : DescribeRequest::fromEnvironment());
    }
    return result;
}
