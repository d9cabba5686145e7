/* Runs one program with its output discarded and prints its wall time in
   nanoseconds, its peak resident memory (max RSS) in KiB and its exit code.
   A small launcher, because a child's max RSS also counts what its parent
   had mapped when the child was made: a Python parent would add its own
   ~20 MiB to every run. Usage: run_measured program [arguments...] */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static long long now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    long long start = now_ns();
    pid_t pid;
    if (posix_spawn(&pid, argv[1], &actions, NULL, argv + 1, environ) != 0) return 3;
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid) return 4;
    long long elapsed = now_ns() - start;
    printf("%lld %ld %d\n", elapsed, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128);
    return 0;
}
