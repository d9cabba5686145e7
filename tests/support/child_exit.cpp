#include "support/child_exit.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

bool ReapWithin(pid_t pid, int* status, int limitMs) {
    // A pidfd becomes readable when the child ends: the wait is for that
    // event, bounded by the limit.
    const int ended = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    pollfd exited{ended, POLLIN, 0};
    const bool byItself = ended >= 0 && poll(&exited, 1, limitMs) == 1;
    if (!byItself) kill(pid, SIGKILL);
    if (ended >= 0) close(ended);
    int reaped = -1;
    waitpid(pid, &reaped, 0);
    if (status) *status = reaped;
    return byItself;
}
