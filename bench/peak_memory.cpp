// SPDX-License-Identifier: MIT
// peak_memory COMMAND [ARG...]: runs COMMAND with its output to /dev/null
// and prints its peak resident memory in KiB. A child's peak includes the
// pages its parent had when it forked, so the parent must be small: a
// Python test or benchmark would add its own ten or more MiB to every
// figure. Test and benchmark tooling, POSIX only; never installed.

#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fputs("usage: peak_memory command [argument...]\n", stderr);
        return 2;
    }
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) < 0) {
            _exit(127);
        }
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 127) {
        std::fprintf(stderr, "peak_memory: %s did not run\n", argv[1]);
        return 2;
    }
#ifdef __APPLE__
    const long kib = usage.ru_maxrss / 1024; // bytes there, KiB elsewhere
#else
    const long kib = usage.ru_maxrss;
#endif
    std::printf("%ld\n", kib);
    return 0;
}
