#pragma once

#include <string>
#include <vector>

#include <linux/filter.h>

// The system calls a plug-in is refused during a scan, as a seccomp filter
// on the scanner process: tracing or writing into other processes (the
// sandbox's own init included, which a stopped init would hang), loading
// kernel code or filters, keyrings, mounts and namespaces, and pushing
// input into a terminal. Everything else is allowed, so plug-ins load,
// start threads and fork as they do outside.
//
// On x86 the filter holds the same rules for both word sizes: a filter
// survives exec, and a 64-bit server runs 32-bit scanners (and the other
// way round). A call of any other kind (x32, another processor) kills the
// process.
class SyscallFilter
{
public:
    SyscallFilter();
    ~SyscallFilter();
    SyscallFilter(const SyscallFilter &) = delete;
    SyscallFilter &operator=(const SyscallFilter &) = delete;

    // Whether the filter could be built (and so will be loaded).
    bool ready() const { return m_context != nullptr; }

    // In the forked child, before exec: false when it could not be loaded.
    bool load() const;

    // The filter in libseccomp's readable form (its pseudo filter code);
    // empty when it was not built or cannot be exported.
    std::string exported() const;

private:
    void *m_context = nullptr;
    // The program, compiled once here: libseccomp compiles it anew on
    // every load, a cost each scan would pay.
    std::vector<sock_filter> m_program;
};
