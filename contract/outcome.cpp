#include "outcome.h"

QString statusText(int outcome)
{
    switch (outcome) {
    case OutcomeOk:
        return QStringLiteral("OK");
    case OutcomeNoPluginGiven:
        return QStringLiteral("Plugin is instrument, not supported in Ombrel");
    case OutcomeBanned:
        return QStringLiteral("Plugin is banned from being used");
    case OutcomeNotFound:
        return QStringLiteral("Plugin binary file not found");
    case OutcomeUnspecified:
        return QStringLiteral("Unspecified failure");
    case OutcomeError:
        return QStringLiteral("Error");
    default:
        return QStringLiteral("Unknown failure state");
    }
}
