#pragma once

#include "clapabi.h"

// The host record a CLAP scan hands to the plug-ins it creates: named, with
// every callback present (plug-ins call them without looking), answering
// the thread check (the thread that made the host is the main thread, no
// thread is the audio thread) and the log (messages go to standard error,
// cut to a line's length), and nothing else. Lives as long as the scan.
class ClapHost
{
public:
    ClapHost();
    const Clap::Host *host() const { return &m_host; }

private:
    Clap::Host m_host;
};
