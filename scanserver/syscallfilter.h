#pragma once

// The system calls a plug-in is refused during a scan, as a seccomp filter
// on the scanner process: tracing or writing into other processes (the
// sandbox's own init included, which a stopped init would hang), loading
// kernel code or filters, keyrings, mounts and namespaces, and pushing
// input into a terminal. Everything else is allowed, so plug-ins load,
// start threads and fork as they do outside.
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

private:
    void *m_context = nullptr;
};
