// Runs one command and prints its wall time (ns), peak resident memory (KiB)
// and exit status. Peak memory survives exec on Linux, so the command is
// started from this small process rather than from the benchmark driver.
//
// Usage: ombrel-bench-spawn <program> [args...]

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        // Our standard output carries the result; the command's goes nowhere.
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return 2;
    clock_gettime(CLOCK_MONOTONIC, &end);
    const long long ns = (end.tv_sec - start.tv_sec) * 1000000000LL + (end.tv_nsec - start.tv_nsec);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::printf("%lld %ld %d\n", ns, usage.ru_maxrss, code);
    return 0;
}
