#pragma once

#include <QString>

// The application and organisation names locate the per-user INI file that
// hosts read back, so they are part of the contract and never change.
inline QString storeApplicationName()
{
    return QStringLiteral("OmbrelPluginScanner");
}
inline QString storeOrganizationName()
{
    return QStringLiteral("Kestrune");
}
