#pragma once

#include <QString>

#include <cstring>

namespace ombrel {

// The system's own words for an errno value, for messages that say why.
inline QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace ombrel
