/* The minimal durable protocol of a report spool, as a bare loop: each record
   made exclusively as "<job>.<n>.xml.tmp", written, flushed (fsync),
   closed, renamed to "<job>.<n>.xml" and the folder flushed (fsync of the
   folder), then the generation before it deleted; the deletions left after
   the last record (the acknowledgement's) come at the end, and any folder
   flushes beyond one a record after them. The counts of each operation per
   job are given, as the worker's own file-operation journal counted them,
   so that the loop does exactly what the spool does to the disk and
   nothing else: no lock, no listing, no check. It times each job's
   operations alone, without the process's start, and prints the median in
   nanoseconds. It leaves the folder as it found it.
   Usage: spool_file_ops folder jobs create=N write=N bytes=N flush=N
                         flushdir=N rename=N delete=N truncate=N
   (bytes: those of all the writes of one job, shared evenly) */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

/* Far from any job number that the benchmark's worker uses. */
#define JOB 990042L

enum { CREATE, WRITE, BYTES, FLUSH, FLUSHDIR, RENAME, DELETE, TRUNCATE, KINDS };
static const char* const kinds[KINDS] = {"create",   "write",  "bytes",  "flush",
                                         "flushdir", "rename", "delete", "truncate"};

static const char* folder;
static long count[KINDS];
static char* bytes;

static long long now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static void record_name(char* name, size_t size, long generation, const char* suffix) {
    snprintf(name, size, "%s/%ld.%ld.xml%s", folder, JOB, generation, suffix);
}

static int sync_folder(void) {
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int synced = fsync(fd);
    return close(fd) == 0 ? synced : -1;
}

/* The writes of one record: its share of the job's writes and bytes. The
   first records, one for each truncation, are written over their first
   writes from the start and then ended there, as a record written into
   space set aside for it. */
static int write_record(int fd, long record, long* written) {
    long writes = count[WRITE] / count[CREATE] + (record < count[WRITE] % count[CREATE]);
    for (long i = 0; i < writes; ++i, ++*written) {
        size_t size = (size_t)(count[BYTES] / count[WRITE] + (*written < count[BYTES] % count[WRITE]));
        if (record < count[TRUNCATE] && i > 0 && i == writes - 1 && lseek(fd, 0, SEEK_SET) != 0) return -1;
        if (write(fd, bytes, size) != (ssize_t)size) return -1;
    }
    if (record < count[TRUNCATE]) {
        off_t end = lseek(fd, 0, SEEK_CUR);
        if (end < 0 || ftruncate(fd, end) != 0) return -1;
    }
    return 0;
}

/* A generation's name: its record once renamed, else its temporary file. */
static void generation_name(char* name, size_t size, long generation) {
    record_name(name, size, generation, generation <= count[RENAME] ? "" : ".tmp");
}

/* One job's operations. Generations run from 1; oldest is the oldest one
   still there, advanced by each deletion. */
static int one_job(void) {
    char temporary[4096], name[4096];
    long written = 0, folder_flushes = 0, deleted = 0, oldest = 1;
    for (long record = 0; record < count[CREATE]; ++record) {
        record_name(temporary, sizeof temporary, record + 1, ".tmp");
        int fd = open(temporary, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0 || write_record(fd, record, &written) != 0) return -1;
        if (record < count[FLUSH] && fsync(fd) != 0) return -1;
        if (close(fd) != 0) return -1;
        if (record < count[RENAME]) {
            record_name(name, sizeof name, record + 1, "");
            if (rename(temporary, name) != 0) return -1;
        }
        if (folder_flushes < count[FLUSHDIR]) {
            if (sync_folder() != 0) return -1;
            ++folder_flushes;
        }
        /* The generation before this one, once this one is written. */
        if (record > 0 && deleted < count[DELETE]) {
            generation_name(name, sizeof name, oldest++);
            if (unlink(name) != 0) return -1;
            ++deleted;
        }
    }
    for (; deleted < count[DELETE]; ++deleted) {
        generation_name(name, sizeof name, oldest++);
        if (unlink(name) != 0) return -1;
    }
    for (; folder_flushes < count[FLUSHDIR]; ++folder_flushes)
        if (sync_folder() != 0) return -1;
    return 0;
}

/* What a job did not delete goes before the next one, untimed. */
static void remove_leftovers(void) {
    char name[4096];
    for (long generation = 1; generation <= count[CREATE]; ++generation) {
        generation_name(name, sizeof name, generation);
        unlink(name);
    }
}

static int by_value(const void* a, const void* b) {
    long long x = *(const long long*)a, y = *(const long long*)b;
    return (x > y) - (x < y);
}

static int parse(int argc, char** argv) {
    for (int i = 3; i < argc; ++i) {
        int known = 0;
        for (int kind = 0; kind < KINDS; ++kind) {
            size_t length = strlen(kinds[kind]);
            if (strncmp(argv[i], kinds[kind], length) == 0 && argv[i][length] == '=') {
                count[kind] = strtol(argv[i] + length + 1, NULL, 10);
                known = count[kind] >= 0;
            }
        }
        if (!known) {
            fprintf(stderr, "spool_file_ops: not a count: %s\n", argv[i]);
            return -1;
        }
    }
    /* Every deletion needs a file of this job, every rename a record, and
       every write and file flush a file to go to. */
    if (count[CREATE] < 1 || count[FLUSH] > count[CREATE] || count[RENAME] > count[CREATE] ||
        count[DELETE] > count[CREATE] || count[WRITE] < count[CREATE] || count[BYTES] < count[WRITE] ||
        count[TRUNCATE] > count[CREATE]) {
        fprintf(stderr, "spool_file_ops: these counts are not a spool's\n");
        return -1;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    folder = argv[1];
    long jobs = strtol(argv[2], NULL, 10);
    if (jobs < 1 || parse(argc, argv) != 0) return 2;
    bytes = malloc((size_t)(count[BYTES] / count[WRITE] + 1));
    long long* times = malloc(sizeof *times * (size_t)jobs);
    if (!bytes || !times) return 1;
    memset(bytes, 'x', (size_t)(count[BYTES] / count[WRITE] + 1));
    for (long job = 0; job < jobs; ++job) {
        long long start = now_ns();
        if (one_job() != 0) {
            perror("spool_file_ops");
            return 1;
        }
        times[job] = now_ns() - start;
        remove_leftovers();
    }
    qsort(times, (size_t)jobs, sizeof *times, by_value);
    printf("%lld\n", times[jobs / 2]);
    free(times);
    free(bytes);
    return 0;
}
