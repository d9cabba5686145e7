/* The child of the exit-detection benchmark: writes the monotonic clock, in
   nanoseconds, into the file named by its argument and exits at once. */
#include <fcntl.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return 3;
    char text[32];
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int length = snprintf(text, sizeof text, "%lld", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    if (write(fd, text, (size_t)length) != length) return 4;
    close(fd);
    _exit(0);
}
