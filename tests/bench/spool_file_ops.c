/* The file operations that one job's report spool needs on Linux, alone in
   a process: the job's byte lock in the shared lock file, its record made
   and written, written again in place with the job's outcome, and deleted
   when the report is acknowledged. The spool benchmark runs it beside the
   worker to show what the file system itself charges for them now. Without
   a folder it does nothing, and is the same process without them.
   Usage: spool_file_ops [folder] */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

/* About the size of a record. */
static char bytes[700];

static int write_file(const char* path, int flags) {
    int fd = open(path, O_WRONLY | O_CLOEXEC | flags, 0644);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || write(fd, bytes, sizeof bytes) != (ssize_t)sizeof bytes)
        return -1;
    return close(fd);
}

int main(int argc, char** argv) {
    char lock[4096], record[4096];
    if (argc < 2) return 0;
    memset(bytes, 'x', sizeof bytes);
    snprintf(lock, sizeof lock, "%s/jobs.lock", argv[1]);
    snprintf(record, sizeof record, "%s/42.xml", argv[1]);
    int fd = open(lock, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    struct flock byte = {.l_type = F_WRLCK, .l_whence = SEEK_SET, .l_start = 42, .l_len = 1};
    if (fd < 0 || flock(fd, LOCK_SH | LOCK_NB) != 0 || fcntl(fd, F_OFD_SETLK, &byte) != 0) return 1;
    if (write_file(record, O_CREAT | O_EXCL) != 0 || write_file(record, 0) != 0) return 1;
    if (unlink(record) != 0) return 1;
    return close(fd) == 0 ? 0 : 1;
}
