#!/usr/bin/env python3
"""Opens pseudo-terminals that stand in for serial ports, and keeps them open.

    pty-hold.py COUNT

Prints the slave device of each, one a line, then waits until it is ended
(SIGTERM); the ports stay usable all that time.
"""
import os
import pty
import signal
import sys


def main():
    count = int(sys.argv[1])
    held = []
    for _ in range(count):
        master, slave = pty.openpty()
        held.append((master, slave))
        print(os.ttyname(slave), flush=True)
    sys.stdout.close()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    while True:
        signal.pause()


if __name__ == "__main__":
    main()
