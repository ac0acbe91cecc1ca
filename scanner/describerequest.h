#pragma once

#include <QString>

// Whether this scan also describes the file for a launching side, and as
// which format (contract/filedescription.h). Empty `file`: a host's scan,
// exactly as the helper has always run.
struct DescribeRequest
{
    QString file;
    QString format; // "vst2" when empty

    // As a launching side asks an exec'd scanner: through its environment.
    static DescribeRequest fromEnvironment();
    bool isVst2() const { return format.isEmpty() || format == QLatin1String("vst2"); }
};
