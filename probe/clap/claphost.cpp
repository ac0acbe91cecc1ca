#include "claphost.h"

#include <QtGlobal>

#include <cstdio>
#include <cstring>
#include <pthread.h>

namespace {

pthread_t mainThread;

bool isMainThread(const Clap::Host *)
{
    return pthread_equal(pthread_self(), mainThread) != 0;
}

bool isAudioThread(const Clap::Host *)
{
    return false;
}

void log(const Clap::Host *, int32_t severity, const char *message)
{
    // The plug-in's own text: bounded, never trusted to end.
    constexpr int kMaxMessage = 1024;
    if (message)
        std::fprintf(stderr, "plug-in log %d: %.*s\n", int(severity), kMaxMessage, message);
}

const Clap::HostThreadCheck threadCheck = {isMainThread, isAudioThread};
const Clap::HostLog hostLog = {log};

const void *extension(const Clap::Host *, const char *id)
{
    if (!id)
        return nullptr;
    if (std::strcmp(id, Clap::kThreadCheckId) == 0)
        return &threadCheck;
    if (std::strcmp(id, Clap::kLogId) == 0)
        return &hostLog;
    return nullptr;
}

void ignoreRequest(const Clap::Host *) { }

} // namespace

ClapHost::ClapHost()
{
    mainThread = pthread_self();
    m_host = {{1, 2, 10}, nullptr,   "Ombrel Plugin Scanner", "Kestrune",    "",
              "1.0.0",    extension, ignoreRequest,           ignoreRequest, ignoreRequest};
}
