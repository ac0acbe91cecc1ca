#pragma once

#include <QByteArray>

// Empties one of a sandbox's private folders after a scan, without
// entering anything mounted inside it: the plug-in and scanner folders
// bound read-only below the private /tmp or home stay as they are, and
// their files are never looked at, so the cost of emptying follows what
// the scan left, not the size of the user's library. The folder itself
// stays. Links are removed, never followed. Folders the plug-in made
// unreadable or read-only are opened up to be removed. What cannot be
// removed is left: there is nobody to tell, and the next scan's emptying
// tries again.
void emptyFolder(const QByteArray &folder);
