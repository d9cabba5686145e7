#include <fcntl.h>
#include <unistd.h>

#include "fuzz_arguments.h"

void SilenceConsole() {
    int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
        dup2(devNull, STDOUT_FILENO);
        close(devNull);
    }
}
