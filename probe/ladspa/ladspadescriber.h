#pragma once

#include "contract/filedescription.h"

#include <QString>

// A FormatDescriber (probe/describers.h) for LADSPA libraries: loads the
// library once and asks ladspa_descriptor for index 0, 1, ... until it
// answers none. 5 when the file is not a loadable library or exports no
// ladspa_descriptor.
int describeLadspa(const QString &path, FileDescription *description);
