#include "embed/lasterror.h"

#include "ombrel/ombrelscan.h"

#include <string>

namespace ombrel {

namespace {

thread_local std::string t_lastError;

} // namespace

void setLastError(const QString &message)
{
    t_lastError = message.toStdString();
}

void clearLastError()
{
    t_lastError.clear();
}

const char *lastError()
{
    return t_lastError.c_str();
}

const char *errorName(int code)
{
    switch (code) {
    case OMBREL_SCAN_OK:
        return "OMBREL_SCAN_OK";
    case OMBREL_SCAN_E_NULL:
        return "OMBREL_SCAN_E_NULL";
    case OMBREL_SCAN_E_BAD_VALUE:
        return "OMBREL_SCAN_E_BAD_VALUE";
    case OMBREL_SCAN_E_STATE:
        return "OMBREL_SCAN_E_STATE";
    case OMBREL_SCAN_E_IN_CALLBACK:
        return "OMBREL_SCAN_E_IN_CALLBACK";
    case OMBREL_SCAN_E_NO_MEMORY:
        return "OMBREL_SCAN_E_NO_MEMORY";
    case OMBREL_SCAN_E_THREAD:
        return "OMBREL_SCAN_E_THREAD";
    case OMBREL_SCAN_E_INPUT_NOT_FOUND:
        return "OMBREL_SCAN_E_INPUT_NOT_FOUND";
    case OMBREL_SCAN_E_UNREADABLE_INPUT:
        return "OMBREL_SCAN_E_UNREADABLE_INPUT";
    case OMBREL_SCAN_E_NO_SCANNER:
        return "OMBREL_SCAN_E_NO_SCANNER";
    case OMBREL_SCAN_E_CACHE:
        return "OMBREL_SCAN_E_CACHE";
    case OMBREL_SCAN_E_NO_SANDBOX:
        return "OMBREL_SCAN_E_NO_SANDBOX";
    case OMBREL_SCAN_E_CANCELLED:
        return "OMBREL_SCAN_E_CANCELLED";
    case OMBREL_SCAN_E_INTERNAL:
        return "OMBREL_SCAN_E_INTERNAL";
    }
    return "unknown";
}

} // namespace ombrel
