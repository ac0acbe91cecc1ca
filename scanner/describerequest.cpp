#include "describerequest.h"

#include "contract/filedescription.h"

#include <QFile>

DescribeRequest DescribeRequest::fromEnvironment()
{
    DescribeRequest request;
    request.file = QFile::decodeName(qgetenv(descriptionFileVariable()));
    request.format = QString::fromLatin1(qgetenv(scanFormatVariable()));
    return request;
}
