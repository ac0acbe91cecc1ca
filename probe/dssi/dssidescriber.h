#pragma once

#include "contract/filedescription.h"

#include <QString>

// A FormatDescriber (probe/describers.h) for DSSI libraries: loads the
// library once and asks dssi_descriptor for index 0, 1, ... until it
// answers none. Each plug-in is described by its LADSPA descriptor, as
// format "dssi", an instrument where it offers a synth run function (it
// then takes MIDI), and with an editor where a GUI program for its label
// is installed beside the library (<folder>/<library name>/<label>_*).
int describeDssi(const QString &path, FileDescription *description);
