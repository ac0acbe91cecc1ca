#include "syscallfilter.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <sys/prctl.h>

#if defined(OMBREL_HAVE_SECCOMP)
#include <seccomp.h>
#endif

SyscallFilter::SyscallFilter()
{
#if defined(OMBREL_HAVE_SECCOMP)
    scmp_filter_ctx context = seccomp_init(SCMP_ACT_ALLOW);
    if (!context)
        return;
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
    };
    bool built = true;
    for (const char *name : refused) {
        const int number = seccomp_syscall_resolve_name(name);
        // A call this processor does not have needs no rule.
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
    return m_context && seccomp_load(static_cast<scmp_filter_ctx>(m_context)) == 0;
#else
    return false;
#endif
}
