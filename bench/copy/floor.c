/* The floor of a file-by-file copy made the way the program makes it, with nothing else around
 * it: no listing, no window, no log, no strings. Copies the tree SRC into DST (which must not
 * hold the files yet) and prints the milliseconds the copies took.
 *
 *   floor design SRC DST   each file through the temporary file: the source opened, locked and
 *                          asked for its length and times; the temporary file made exclusively,
 *                          locked and asked for its identity; the data moved in the kernel; the
 *                          times set; both closed; the temporary file's identity checked; and
 *                          the rename onto the final name
 *   floor direct SRC DST   each file straight to its final name (open, copy, times, close),
 *                          which is what a copy without the temporary file costs
 *
 * The folders are made before the clock starts, so both lines time the files alone.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static const char *kTemp = "$$$DEV$$$.$tmpfile$";
static int design;
static long files;

static void die(const char *what, const char *path)
{
    fprintf(stderr, "floor: %s %s: %s\n", what, path, strerror(errno));
    exit(1);
}

static void copyOne(const char *src, const char *dstDir, const char *name)
{
    char out[PATH_MAX], tmp[PATH_MAX];
    snprintf(out, sizeof out, "%s/%s", dstDir, name);
    snprintf(tmp, sizeof tmp, "%s/%s", dstDir, kTemp);
    int in = open(src, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        die("open", src);
    struct stat st, made, placed;
    if (design && flock(in, LOCK_EX | LOCK_NB) != 0)
        die("lock", src);
    if (fstat(in, &st) != 0)
        die("fstat", src);
    const char *target = design ? tmp : out;
    int fd = open(target, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        die("create", target);
    if (design && (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &made) != 0))
        die("lock", target);
    for (off_t left = st.st_size; left > 0;) {
        ssize_t n = copy_file_range(in, NULL, fd, NULL, (size_t)left, 0);
        if (n <= 0)
            die("copy", src);
        left -= n;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(fd, times) != 0)
        die("times", target);
    close(fd);
    close(in);
    if (design) {
        if (lstat(tmp, &placed) != 0 || placed.st_ino != made.st_ino)
            die("identity", tmp);
        if (rename(tmp, out) != 0)
            die("rename", out);
    }
    ++files;
}

/* Makes the folders of the tree first (untimed), collecting the files to copy. */
struct Job {
    char *src, *dir, *name;
};
static struct Job *jobs;
static long njobs, cap;

static void collect(const char *src, const char *dst)
{
    if (mkdir(dst, 0777) != 0 && errno != EEXIST)
        die("mkdir", dst);
    DIR *d = opendir(src);
    if (!d)
        die("opendir", src);
    struct dirent *e;
    while ((e = readdir(d))) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, ".."))
            continue;
        char s[PATH_MAX], t[PATH_MAX];
        snprintf(s, sizeof s, "%s/%s", src, e->d_name);
        snprintf(t, sizeof t, "%s/%s", dst, e->d_name);
        if (e->d_type == DT_DIR) {
            collect(s, t);
        } else if (e->d_type == DT_REG) {
            if (njobs == cap) {
                cap = cap ? cap * 2 : 1024;
                jobs = realloc(jobs, (size_t)cap * sizeof *jobs);
            }
            jobs[njobs].src = strdup(s);
            jobs[njobs].dir = strdup(dst);
            jobs[njobs].name = strdup(e->d_name);
            ++njobs;
        }
    }
    closedir(d);
}

int main(int argc, char **argv)
{
    if (argc != 4 || (strcmp(argv[1], "design") && strcmp(argv[1], "direct"))) {
        fprintf(stderr, "usage: floor design|direct SRC DST\n");
        return 2;
    }
    design = !strcmp(argv[1], "design");
    collect(argv[2], argv[3]);
    struct timespec a, b;
    clock_gettime(CLOCK_MONOTONIC, &a);
    for (long i = 0; i < njobs; ++i)
        copyOne(jobs[i].src, jobs[i].dir, jobs[i].name);
    clock_gettime(CLOCK_MONOTONIC, &b);
    printf("%ld\n", (long)((b.tv_sec - a.tv_sec) * 1000 + (b.tv_nsec - a.tv_nsec) / 1000000));
    fprintf(stderr, "floor %s: %ld files\n", argv[1], files);
    return 0;
}
