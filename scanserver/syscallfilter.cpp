#include "syscallfilter.h"

#include <cerrno>
#include <cstdio>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#if defined(OMBREL_HAVE_SECCOMP)
#include <seccomp.h>
#endif

#if defined(OMBREL_HAVE_SECCOMP)
namespace {

// The filter as the kernel takes it; empty when it cannot be had, and
// then each load compiles it.
std::vector<sock_filter> compiled(scmp_filter_ctx context)
{
    std::vector<sock_filter> program;
    const int fd = ::memfd_create("seccomp-program", MFD_CLOEXEC);
    if (fd < 0)
        return program;
    if (seccomp_export_bpf(context, fd) == 0) {
        const off_t size = ::lseek(fd, 0, SEEK_END);
        if (size > 0 && size % off_t(sizeof(sock_filter)) == 0 && size_t(size) / sizeof(sock_filter) <= 0xffff) {
            program.resize(size_t(size) / sizeof(sock_filter));
            if (::pread(fd, program.data(), size_t(size), 0) != ssize_t(size))
                program.clear();
        }
    }
    ::close(fd);
    return program;
}

} // namespace
#endif

SyscallFilter::SyscallFilter()
{
#if defined(OMBREL_HAVE_SECCOMP)
    scmp_filter_ctx context = seccomp_init(SCMP_ACT_ALLOW);
    if (!context)
        return;
#if defined(__x86_64__) || defined(__i386__)
    // The native word size is in the filter already; the other is added
    // before the rules, so that each rule is made for both.
    for (const uint32_t arch : {uint32_t(SCMP_ARCH_X86_64), uint32_t(SCMP_ARCH_X86)}) {
        const int added = seccomp_arch_add(context, arch);
        if (added != 0 && added != -EEXIST) {
            seccomp_release(context);
            return;
        }
    }
#endif
    const char *const refused[] = {
#if !defined(OMBREL_SANITIZED)
        // LeakSanitizer traces its own threads at exit: a sanitized build
        // keeps ptrace, or every scan would end in its error.
        "ptrace",
#endif
        "process_vm_readv",
        "process_vm_writev",
        "perf_event_open",
        "bpf",
        "userfaultfd",
        "kexec_load",
        "kexec_file_load",
        "init_module",
        "finit_module",
        "delete_module",
        "keyctl",
        "add_key",
        "request_key",
        "mount",
        "umount",
        "umount2",
        "pivot_root",
        "chroot",
        "setns",
        "unshare",
        "fsopen",
        "fsmount",
        "open_tree",
        "move_mount",
        "iopl",
        "ioperm",
        "vm86",
        "vm86old",
    };
    bool built = true;
    for (const char *name : refused) {
        const int number = seccomp_syscall_resolve_name(name);
        // A call neither word size has needs no rule; one only the other
        // word size has is added for that one alone.
        if (number != __NR_SCMP_ERROR)
            built = built && seccomp_rule_add(context, SCMP_ACT_ERRNO(EPERM), number, 0) == 0;
    }
    built = built
        && seccomp_rule_add(context, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(ioctl), 1,
                            SCMP_A1(SCMP_CMP_MASKED_EQ, 0xffffffffu, TIOCSTI))
            == 0;
    if (!built) {
        seccomp_release(context);
        return;
    }
    m_context = context;
    m_program = compiled(context);
#endif
}

SyscallFilter::~SyscallFilter()
{
#if defined(OMBREL_HAVE_SECCOMP)
    if (m_context)
        seccomp_release(static_cast<scmp_filter_ctx>(m_context));
#endif
}

bool SyscallFilter::load() const
{
    // No new privileges either way: a set-id program cannot lift the filter.
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
#if defined(OMBREL_HAVE_SECCOMP)
    if (!m_program.empty()) {
        const sock_fprog program
            = {static_cast<unsigned short>(m_program.size()), const_cast<sock_filter *>(m_program.data())};
        return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
    }
    return m_context && seccomp_load(static_cast<scmp_filter_ctx>(m_context)) == 0;
#else
    return false;
#endif
}

std::string SyscallFilter::exported() const
{
    std::string text;
#if defined(OMBREL_HAVE_SECCOMP)
    FILE *file = m_context ? std::tmpfile() : nullptr;
    if (!file)
        return text;
    if (seccomp_export_pfc(static_cast<scmp_filter_ctx>(m_context), fileno(file)) == 0) {
        std::rewind(file);
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            text.append(buffer, n);
    }
    std::fclose(file);
#endif
    return text;
}
