#include "hostapplication.h"

#include "vst3abi.h"

#include <cstring>

namespace {

using namespace Vst3;

bool is(const char *iid, const Iid &wanted)
{
    return std::memcmp(iid, wanted.bytes, sizeof wanted.bytes) == 0;
}

uint32_t keepAlive(void *)
{
    return 1;
}

tresult runLoopQuery(void *self, const char *iid, void **object);
tresult registerEventHandler(void *, void *, int)
{
    return kNotImplemented;
}
tresult unregisterHandler(void *, void *)
{
    return kNotImplemented;
}
tresult registerTimer(void *, void *, uint64_t)
{
    return kNotImplemented;
}

const RunLoopVtbl runLoopVtbl
    = {{runLoopQuery, keepAlive, keepAlive}, registerEventHandler, unregisterHandler, registerTimer, unregisterHandler};
Object<RunLoopVtbl> runLoop = {&runLoopVtbl};

tresult hostQuery(void *self, const char *iid, void **object);
tresult getName(void *, char16 *name)
{
    const char16 text[] = u"Ombrel Plugin Scanner";
    std::memcpy(name, text, sizeof text);
    return kResultOk;
}
tresult createNothing(void *, char *, char *, void **object)
{
    if (object)
        *object = nullptr;
    return kResultFalse;
}

const HostApplicationVtbl hostVtbl = {{hostQuery, keepAlive, keepAlive}, getName, createNothing};
Object<HostApplicationVtbl> host = {&hostVtbl};

tresult hostQuery(void *self, const char *iid, void **object)
{
    if (!object)
        return kInvalidArgument;
    if (is(iid, kFUnknownIid) || is(iid, kHostApplicationIid))
        *object = self;
    else if (is(iid, kRunLoopIid))
        *object = &runLoop;
    else
        *object = nullptr;
    return *object ? kResultOk : kNoInterface;
}

tresult runLoopQuery(void *self, const char *iid, void **object)
{
    if (!object)
        return kInvalidArgument;
    *object = is(iid, kFUnknownIid) || is(iid, kRunLoopIid) ? self : nullptr;
    return *object ? kResultOk : kNoInterface;
}

} // namespace

void *vst3HostApplication()
{
    return &host;
}
