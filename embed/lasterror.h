#pragma once

#include <QString>

namespace ombrel {

// The message behind the last error code returned on this thread, kept
// for ombrel_scan_error_message().
void setLastError(const QString &message);
void clearLastError();
const char *lastError();

// OMBREL_SCAN_E_*'s name.
const char *errorName(int code);

} // namespace ombrel
