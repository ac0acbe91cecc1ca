#pragma once

// The host application a VST 3 scan hands to the factory and to each
// component and controller it initializes: it is named, answers the run
// loop that Linux plug-ins ask for (with timers and handlers refused: a
// scan runs no event loop), and creates nothing. A static object whose
// counts never reach zero, shared by every call of one process.
void *vst3HostApplication();
