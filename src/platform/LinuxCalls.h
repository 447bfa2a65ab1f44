#pragma once
// What the Linux door's files (FileSystemLinux*.cpp) and the program's own files (OwnFiles.cpp)
// share below the door: a system call retried through interrupts, a transfer carried on until
// every byte has moved, and a file's status as the door reports it. Private to platform.
#include "platform/FileSystem.h"
#include <cerrno>
#include <sys/stat.h>
#include <sys/types.h>

namespace platform::sys {

// Runs `call` (a system call answering -1 with errno) again as long as a signal interrupts it.
template <class Call> int retried(Call call)
{
    int rc;
    do {
        rc = call();
    } while (rc < 0 && errno == EINTR);
    return rc < 0 ? -1 : rc;
}

// Moves `length` bytes by repeated calls of `step(done, left)`, each a read, a write or a copy
// that moves at most `left` bytes from position `done` and answers how many it moved (-1 with
// errno). A call cut short by a signal is made again. Stops at `length`, at a call that moved
// nothing (`done` is then short of `length`: the end of a file) or at an error (its errno).
template <class Step> int transferAll(qint64 length, qint64 &done, Step step)
{
    done = 0;
    while (done < length) {
        const ssize_t n = step(done, size_t(length - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        done += n;
    }
    return 0;
}

// Writes all `length` bytes of `data` to `fd`; a write that takes nothing is an I/O error.
int writeAll(int fd, const char *data, qint64 length);

// What the door reports of a file from its system status.
void fillStatus(const struct stat &st, Status &out);

} // namespace platform::sys
