#!/usr/bin/env python3
"""Runs one command and prints "wall_ms cpu_ms peak_kib" for it.

rsync (and any command that ends by itself): wall time to its exit, CPU (user + system) and
peak resident memory of it and every process it waited for, from wait4().

The program's automatic run (--until-idle LOGFILE TEXT): the run lists, then closes through
the save-settings question, which waits for an answer nobody gives under the offscreen
platform. The listing is over when the run log holds TEXT (the orphan line, the last line a
listing writes) and the process then stops using CPU and sleeps (blocked in the question) for IDLE_S seconds. Wall time is
taken up to the last clock tick of CPU use, CPU time and peak memory (VmHWM) from /proc while
the process still lives; then it is killed. A program that ends by itself (an option that
answers every question) is measured as above, through wait4().
"""
import os
import signal
import sys
import time

TICK = os.sysconf("SC_CLK_TCK")


def cpu_ticks(pid):
    """CPU clock ticks of all threads, and whether the main thread sleeps (waits for events)."""
    with open(f"/proc/{pid}/stat", "rb") as f:
        fields = f.read().rsplit(b")", 1)[1].split()
    return int(fields[11]) + int(fields[12]), fields[0] == b"S"


def hwm_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def main():
    args = sys.argv[1:]
    log = text = None
    idle_s = float(os.environ.get("IDLE_S", "0.5"))
    if args[:1] == ["--until-idle"]:
        log, text, args = args[1], args[2].encode(), args[3:]
    t0 = time.monotonic()
    pid = os.fork()
    if pid == 0:
        fd = os.open(os.devnull, os.O_WRONLY)
        os.dup2(fd, 1)
        os.dup2(fd, 2)
        try:
            os.execvp(args[0], args)
        finally:
            os._exit(127)
    if log is None:
        _, status, ru = os.wait4(pid, 0)
        wall = time.monotonic() - t0
        print(f"{wall * 1000:.0f} {(ru.ru_utime + ru.ru_stime) * 1000:.0f} {ru.ru_maxrss}")
        return 0 if os.waitstatus_to_exitcode(status) == 0 else 1
    seen = False
    last_ticks, last_change = -1, t0
    while True:
        done, status, ru = os.wait4(pid, os.WNOHANG)
        if done:
            wall = time.monotonic() - t0
            print(f"{wall * 1000:.0f} {(ru.ru_utime + ru.ru_stime) * 1000:.0f} {ru.ru_maxrss}")
            return 0
        now = time.monotonic()
        try:
            ticks, sleeping = cpu_ticks(pid)
            peak = hwm_kib(pid)
        except (FileNotFoundError, ProcessLookupError):
            time.sleep(0.002)
            continue
        if ticks != last_ticks or not sleeping:
            if ticks != last_ticks:
                last_ticks, last_change = ticks, now
            else:
                last_change = max(last_change, now - 1.0 / TICK)
        if not seen:
            try:
                with open(log, "rb") as f:
                    seen = text in f.read()
            except FileNotFoundError:
                pass
        if not seen and now - last_change > 30:
            os.kill(pid, signal.SIGKILL)
            os.wait4(pid, 0)
            print("the program went idle without finishing its listing (a question box?)", file=sys.stderr)
            return 1
        if seen and now - last_change > idle_s:
            os.kill(pid, signal.SIGKILL)
            os.wait4(pid, 0)
            print(f"{(last_change - t0) * 1000:.0f} {last_ticks * 1000 // TICK} {peak}")
            return 0
        time.sleep(0.01)


if __name__ == "__main__":
    sys.exit(main())
