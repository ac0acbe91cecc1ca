#pragma once

#include "contract/filedescription.h"

#include <QString>

// A FormatDescriber (probe/describers.h) for LV2 bundles: reads the
// bundle's Turtle data with lilv and loads none of its code (dynamic
// manifests included). Only this bundle is loaded, on a world of its own,
// with the core specification from the system's LV2 folders for the class
// names. 5 when the path is not a bundle folder with a manifest.ttl, or
// when none of its plug-ins can be described (the cause says why).
int describeLv2(const QString &path, FileDescription *description);
