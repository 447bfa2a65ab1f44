/* The bench's "without syncs" runs: preloaded into the program, it turns the calls that put
 * data on the disk into no-ops, so the same executable runs once with its syncs and once
 * without them. Built by syncs.sh with the system's C compiler; never part of the program. */
#include <unistd.h>

int fsync(int fd) { (void)fd; return 0; }
int fdatasync(int fd) { (void)fd; return 0; }
int syncfs(int fd) { (void)fd; return 0; }
