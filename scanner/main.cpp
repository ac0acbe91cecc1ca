// OmbrelPluginScanner: examines one VST 2.x plug-in for a host, in a process
// of its own so that a plug-in that crashes takes only this process down.
//
// Usage: OmbrelPluginScanner <plugin path> [ignored...]
//
// Exit code (the host's contract, see contract/outcome.h):
//   0  the plug-in was named and its record written to the result store
//   1  no plug-in path was given
//   3  nothing exists at the path
//   4  the plug-in's code ended the process (exit() or quick_exit())
//   5  banned, not a regular file, not loadable, no entry point, refused,
//      or nameless
//   6  the plug-in was named but the result store could not be written
//   a crash exit when the plug-in's own code faults
//
// The result store is the per-user INI file of Kestrune/OmbrelPluginScanner.
// It is emptied at every start and holds, after a successful scan, the one
// group named by settingsKeyForPath() of the path.
//
// The lines on standard error are written exactly, whatever the user's Qt
// logging rules or message pattern (see diagnostics.h).

#include "scannermain.h"

int main(int argc, char *argv[])
{
    return runScanner(argc, argv);
}
