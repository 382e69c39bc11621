#!/usr/bin/env python3
"""Copies standard input to standard output with each line prefixed by the seconds since the
Unix epoch at which it arrived ("1765200000.123 <line>"), so that waits show in a trace."""
import sys
import time

for line in sys.stdin.buffer:
    sys.stdout.buffer.write(b"%.3f " % time.time() + line)
    sys.stdout.buffer.flush()
