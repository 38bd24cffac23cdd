/* Preloaded into the halvorine program (LD_PRELOAD): appends each fsync, with
 * the path of what it syncs, and each rename to the file that
 * $HALVORINE_SYNC_LOG names, in the order the program makes them, then makes
 * the real call. Shows whether an output reaches the disk around its rename. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void note(const char* what, const char* a, const char* b) {
    const char* log = getenv("HALVORINE_SYNC_LOG");
    char line[8400];
    int n = snprintf(line, sizeof line, "%s %s%s%s\n", what, a, b ? " " : "", b ? b : "");
    int fd = log ? open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644) : -1;
    if (fd < 0)
        return;
    if (n > (int)sizeof line - 1)
        n = (int)sizeof line - 1;
    if (n > 0 && write(fd, line, (size_t)n) != n)
        line[0] = '\0'; /* a short line fails the test that reads it */
    close(fd);
}

int fsync(int fd) {
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    target[n > 0 ? n : 0] = '\0';
    note("fsync", target, NULL);
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    return real(fd);
}

int rename(const char* from, const char* to) {
    note("rename", from, to);
    int (*real)(const char*, const char*) = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
    return real(from, to);
}
