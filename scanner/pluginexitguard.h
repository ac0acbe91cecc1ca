#pragma once

// Held while the plug-in's code may run (loading, entry point, dispatcher
// calls, unloading). A plug-in that calls exit() or quick_exit() meanwhile,
// with any code, would otherwise end the scanner with that code: 0 without
// "OK" reads as a scan that worked, 3 as nothing at the path. Instead the
// process ends at once with 4 and "Unspecified failure" as its last line,
// before any other exit handler of the scanner runs and without writing the
// store. Handlers the plug-in registered itself still run first: exit runs
// them in reverse order of registration.
//
// Outside the guard, exits are the scanner's own again. One guard at a time.
class PluginExitGuard
{
public:
    PluginExitGuard();
    ~PluginExitGuard();

    PluginExitGuard(const PluginExitGuard &) = delete;
    PluginExitGuard &operator=(const PluginExitGuard &) = delete;
};
