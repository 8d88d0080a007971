#!/usr/bin/python3
"""A failing card under FUSE: one read-only file, card.img, that reads as BACKING does
but fails chosen sector ranges with EIO and answers slowly on others, as a dying card
does. Every read that reaches it is logged as "offset size" to --log.

  faulty_file.py BACKING MOUNTPOINT [--bad FIRST:COUNT]... [--slow FIRST:COUNT:SECONDS]...
                 [--delay SECONDS] [--rate MB_PER_SECOND] [--log FILE] [--sector 512]

--delay slows every read (to stop a copy half-way in tests); --rate serves all reads
together at no more than that many megabytes (10^6 bytes) a second, as a card reader
does. Runs in the foreground until unmounted (fusermount -u MOUNTPOINT)."""

import argparse
import errno
import os
import stat
import threading
import time

try:
    from fusepy import FUSE, FuseOSError, Operations  # Debian's python3-fusepy
except ImportError:
    from fuse import FUSE, FuseOSError, Operations

NAME = "/card.img"


def ranges(values, sector):
    out = []
    for value in values or []:
        parts = value.split(":")
        first, count = int(parts[0]), int(parts[1])
        extra = float(parts[2]) if len(parts) > 2 else 0.0
        out.append((first * sector, (first + count) * sector, extra))
    return out


class FaultyFile(Operations):
    def __init__(self, args):
        self.fd = os.open(args.backing, os.O_RDONLY)
        self.size = os.fstat(self.fd).st_size
        self.bad = ranges(args.bad, args.sector)
        self.slow = ranges(args.slow, args.sector)
        self.delay = args.delay
        self.rate = args.rate * 1e6 if args.rate else 0.0
        self.rate_lock = threading.Lock()
        self.busy_until = 0.0  # when the bytes already served have passed at the rate
        self.log = open(args.log, "a", buffering=1) if args.log else None
        self.log_lock = threading.Lock()

    def getattr(self, path, fh=None):
        now = time.time()
        if path == "/":
            return dict(st_mode=stat.S_IFDIR | 0o555, st_nlink=2, st_atime=now, st_mtime=now, st_ctime=now)
        if path == NAME:
            return dict(st_mode=stat.S_IFREG | 0o444, st_nlink=1, st_size=self.size,
                        st_atime=now, st_mtime=now, st_ctime=now)
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return [".", "..", NAME[1:]]

    def open(self, path, flags):
        if path != NAME:
            raise FuseOSError(errno.ENOENT)
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise FuseOSError(errno.EROFS)
        return 0

    def read(self, path, size, offset, fh):
        end = min(offset + size, self.size)
        if self.log:
            with self.log_lock:
                self.log.write("%d %d\n" % (offset, max(0, end - offset)))
        if self.delay:
            time.sleep(self.delay)
        if self.rate:
            with self.rate_lock:
                self.busy_until = max(self.busy_until, time.monotonic()) + max(0, end - offset) / self.rate
                due = self.busy_until
            time.sleep(max(0.0, due - time.monotonic()))
        for begin, stop, seconds in self.slow:
            if offset < stop and begin < end:
                time.sleep(seconds)
        for begin, stop, _ in self.bad:
            if offset < stop and begin < end:
                raise FuseOSError(errno.EIO)
        return os.pread(self.fd, end - offset, offset) if end > offset else b""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("backing")
    parser.add_argument("mountpoint")
    parser.add_argument("--bad", action="append")
    parser.add_argument("--slow", action="append")
    parser.add_argument("--delay", type=float, default=0.0)
    parser.add_argument("--rate", type=float, default=0.0)
    parser.add_argument("--log")
    parser.add_argument("--sector", type=int, default=512)
    args = parser.parse_args()
    # direct_io: every read the copier makes reaches read() as made, with no page cache
    # or read-ahead between, so the log shows exactly what was read from the card.
    FUSE(FaultyFile(args), args.mountpoint, foreground=True, ro=True, direct_io=True)


if __name__ == "__main__":
    main()
