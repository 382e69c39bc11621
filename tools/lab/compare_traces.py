#!/usr/bin/env python3
"""Compares the printer lab's trace on the simulated host with the one under Wine, step by step.

    tools/lab/compare_traces.py HOST_TRACE WINE_TRACE [WINE_TRACE...] [-C N] [--keep-port-scan]

HOST_TRACE is what tests/app/lab_scenario_test.cpp writes with LAB_SCENARIO_TRACE=<path> (one
text a line). Each WINE_TRACE is a run's program.debug (best: it holds the lines Wine cut and
the program's plain OutputDebugString texts) or its trace.txt. Several Wine files (the e2e's
network and parallel runs) are read in order; a step found in more than one is taken from the
first.

Both traces are cut into steps: the start, the list's header, one part per printer of the list,
the list's end, one part per download (named after the printer whose port it opens) and what
follows the last download; with a run number when the program started more than once. The
steps both traces have are compared line by line after normalising what differs by set-up
alone: thread ids, Wine's escapes, loopback addresses (each becomes the name of the printer
that has it), the USB device's serial number and its child's prefix, the host name behind a
port, the program's folder. Lines of the progress dialog's thread are compared apart, as their
place among the other thread's lines follows timing. The port scans' "ports IP_a ?= IP_b" lines
of other network ports are dropped (their number follows the random addresses' order) unless
--keep-port-scan. A line that Wine cut (about 291 characters) equals a host line that starts
with it.

Prints each step as equal or as a unified diff (host "-", Wine "+") with N lines of context
(default 3); exits 1 when a compared step differs.
"""
import argparse
import difflib
import re
import sys

PROGRESS_THREAD = re.compile(r"^CProgressDlg::OnProgressMsg\(\)")
THREAD_PREFIX = re.compile(r"^CORVL\([0-9A-Fa-f]+\): ")
# program.debug: "<seconds> <tid>:warn:seh:OutputDebugStringA "<text>"" (and a repeat of each
# line as dispatch_exception, dropped); a cut line ends in "..." after its closing quote.
WINE_DEBUG = re.compile(r'^(?:[0-9.]+ )?[0-9a-f]+:warn:seh:OutputDebugString[AW] L?"(.*)"(\.\.\.)?$')
TIMESTAMP = re.compile(r"^[0-9]+\.[0-9]+ ")
LOOPBACK = re.compile(r"(?<![\d.])127\.\d{1,3}\.\d{1,3}\.\d{1,3}(?![\d.])")
USB_INSTANCE = re.compile(r"(USB\\VID_[0-9A-F]{4}&PID_[0-9A-F]{4}\\)[^\\\s\"']+", re.I)
USB_INTERFACE = re.compile(r"(usb#vid_[0-9a-f]{4}&pid_[0-9a-f]{4}#)[^#]+#", re.I)
USBPRINT_INSTANCE = re.compile(r"USBPRINT\\[^\\\s]+\\\S+?&(USB\d{3})", re.I)
PROGRAM_FOLDER = re.compile(r"[A-Za-z]:\\(?:[^\\]*\\)*(TVQ\w*\.bin)")
OTHER_PORT_SCAN = re.compile(r"^ports (IP_\S+) \?= (IP_\S+)$")
HOST_NAMES = ("localhost", "labprinter.example")
ADDED = re.compile(r"^\+\+ Adding (.*) to printer list$")
# In a list entry: the port it names, the address it found, or the program's plain port line.
PORT_OR_ADDRESS = re.compile(r"^\s+portName: (.+)$|^InstanceID=(.+)$|^(IP_\S+|USB\d{3}|LPT\d:)$")


def unescape_wine(text):
    """Wine's debugstr form back to the text: \\\\, \\", \\n, \\t, \\xNN (ANSI bytes)."""
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x" and i + 3 < len(text) + 1:
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            out += {"n": b"\n", "t": b"\t", "r": b"\r"}.get(n, n.encode("latin-1"))
            i += 2
            continue
        out += c.encode("latin-1", "replace")
        i += 1
    return out.decode("cp1252", "replace")


def read_wine(path):
    """(text, cut) pairs; a line feed inside a text becomes the two characters \\n as on the host."""
    lines = []
    with open(path, encoding="latin-1") as f:
        raw = f.read().splitlines()
    debug = any(":warn:seh:OutputDebugString" in line for line in raw)
    for line in raw:
        if debug:
            m = WINE_DEBUG.match(line)
            if not m:
                continue
            text, cut = unescape_wine(m.group(1)), bool(m.group(2))
        else:
            text, cut = unescape_wine(TIMESTAMP.sub("", line, count=1)) + "\n", False
        text = THREAD_PREFIX.sub("", text)
        if text.endswith("\n"):  # the trace's own line end
            text = text[:-1]
        lines.append((text.replace("\n", "\\n"), cut))
    return lines


def read_host(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return [(THREAD_PREFIX.sub("", line), False) for line in f.read().splitlines()]


class Section:
    def __init__(self, key):
        self.key = key
        self.lines = []


def split_steps(lines):
    """Ordered list of Sections; also the map port/address -> printer name of the lists."""
    texts = [t for t, _ in lines]
    runs = [i for i, t in enumerate(texts) if t == "InitInstance()"]
    if not runs or runs[0] != 0:
        runs.insert(0, 0)
    runs.append(len(texts))
    sections = []
    names = {}  # "IP_x", "USB001", "127.x.y.z" ... -> printer name

    for r in range(len(runs) - 1):
        lo, hi = runs[r], runs[r + 1]
        tag = "run %d: " % (r + 1) if r else ""  # a second start of the program is told apart

        def new(key):
            s = Section(tag + key)
            sections.append(s)
            return s

        run = list(range(lo, hi))
        build = next((i for i in run if texts[i] == "BuildList()"), None)
        last_next = max((i for i in run if texts[i] == "GetNextInstalledPrinter()"), default=None)
        cur = new("start")
        if build is None or last_next is None:
            cur.lines = lines[lo:hi]
            continue
        cur.lines = lines[lo:build]
        # The list: its header, then one part per printer, each from its GetPortname().
        cur = new("list: header")
        entries = []
        i = build
        while i <= last_next:
            t = texts[i]
            starts_entry = t == "GetNextInstalledPrinter()" or (
                t == "GetPortname()" and not entries and cur.key.endswith("header"))
            if starts_entry:
                cur = Section(None)
                entries.append(cur)
            cur.lines.append(lines[i])
            i += 1
        silent = 0
        for entry in entries:
            et = [t for t, _ in entry.lines]
            added = next((m.group(1) for m in map(ADDED.match, et) if m), None)
            if added is None and len(et) == 1:
                entry.key = tag + "list: end"
            else:
                if added is None:
                    silent += 1
                    added = "not listed #%d" % silent
                entry.key = tag + "list: " + added
                # A parallel printer's entry shows the address of the printer before it.
                parallel = any(t.startswith("printer is LPT") for t in et)
                for t in et:
                    m = PORT_OR_ADDRESS.match(t)
                    if m and (m.group(1) or m.group(3)):
                        names.setdefault(m.group(1) or m.group(3), added)
                    elif m and m.group(2) and not parallel:
                        names.setdefault(m.group(2), added)
            sections.append(entry)
        # The downloads: each ends with the progress dialog's end; the lines up to the next
        # GetPortname() stay with it. What follows the last one without a GetPortname() is apart.
        cur = None
        ended = False
        for i in range(last_next + 1, hi):
            t = texts[i]
            if cur is None or (ended and t == "GetPortname()"):
                cur = new("download")
                ended = False
            cur.lines.append(lines[i])
            if t == "CProgressDlg::OnTerminate()":
                ended = True
        if cur is not None and "GetPortname()" not in [t for t, _ in cur.lines]:
            cur.key = tag + "after the downloads"

    for s in sections:
        if s.key.endswith("download"):
            port = None
            st = [t for t, _ in s.lines]
            for j, t in enumerate(st):
                if t == "GetPortname()" and j + 1 < len(st) and st[j + 1] in names:
                    port = st[j + 1]
                    break
                m = re.match(r"^InstanceID=(.*)$", t)
                if m and m.group(1) in names:
                    port = m.group(1)
                    break
            s.key += ": " + (names.get(port) or "(printer not known)")
    # Two downloads to one printer keep apart.
    seen = {}
    for s in sections:
        seen[s.key] = seen.get(s.key, 0) + 1
        if seen[s.key] > 1:
            s.key += " #%d" % seen[s.key]
    return sections, names


def normalise(text, names, host_names):
    for name in host_names:
        text = text.replace("IP_" + name, "IP_<host name>")
        text = text.replace("(" + name + ")", "(<host name>)").replace("IPbuf: " + name, "IPbuf: <host name>")
        text = re.sub(r"^" + re.escape(name) + "$", "<host name>", text)
    text = LOOPBACK.sub(lambda m: "<%s>" % names.get(m.group(0), "address"), text)
    text = USB_INSTANCE.sub(lambda m: m.group(1).upper() + "<serial>", text)
    text = USB_INTERFACE.sub(lambda m: m.group(1).lower() + "<serial>#", text)
    text = USBPRINT_INSTANCE.sub(lambda m: "USBPRINT\\<model>\\<prefix>&" + m.group(1).upper(), text)
    text = PROGRAM_FOLDER.sub(lambda m: "<program folder>\\" + m.group(1), text)
    return text


def prepared(section, names, host_names, keep_port_scan):
    """(main thread lines, progress thread lines, cut flags of the main ones), normalised."""
    main, progress = [], []
    for text, cut in section.lines:
        m = OTHER_PORT_SCAN.match(text)
        if m and m.group(1) != m.group(2) and not keep_port_scan:
            continue
        text = normalise(text, names, host_names)
        (progress if PROGRESS_THREAD.match(text) else main).append((text, cut))
    return main, progress


def settle_cuts(host, wine):
    """A Wine line that was cut takes the text of the host line that starts with it."""
    out = []
    for text, cut in wine:
        if cut:
            text = next((h for h, _ in host if h.startswith(text)), text + "...")
        out.append(text)
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("host")
    ap.add_argument("wine", nargs="+")
    ap.add_argument("-C", "--context", type=int, default=3)
    ap.add_argument("--keep-port-scan", action="store_true")
    ap.add_argument("--host-name", action="append", default=list(HOST_NAMES),
                    help="a host name behind a network port (besides %s)" % ", ".join(HOST_NAMES))
    args = ap.parse_args()

    host_sections, host_names = split_steps(read_host(args.host))
    wine_sections, wine_names = [], {}
    for path in args.wine:
        sections, names = split_steps(read_wine(path))
        for s in sections:
            if s.key not in {w.key for w in wine_sections}:
                wine_sections.append(s)
        for k, v in names.items():
            wine_names.setdefault(k, v)

    wine_by_key = {s.key: s for s in wine_sections}
    host_keys = {s.key for s in host_sections}
    differ = 0
    for hs in host_sections:
        ws = wine_by_key.get(hs.key)
        if ws is None:
            print("== %s: host only (%d lines)" % (hs.key, len(hs.lines)))
            continue
        h_main, h_prog = prepared(hs, host_names, args.host_name, args.keep_port_scan)
        w_main, w_prog = prepared(ws, wine_names, args.host_name, args.keep_port_scan)
        diffs = []
        for what, h, w in (("", h_main, w_main), (" (progress dialog's thread)", h_prog, w_prog)):
            ht = [t for t, _ in h]
            wt = settle_cuts(h, w)
            if ht != wt:
                body = list(difflib.unified_diff(ht, wt, "host", "wine", n=args.context, lineterm=""))
                diffs.append((what, body[2:]))
        if not diffs:
            print("== %s: equal (%d lines)" % (hs.key, len(h_main) + len(h_prog)))
            continue
        differ += 1
        print("== %s: DIFFERS (host %d lines, wine %d)" % (hs.key, len(hs.lines), len(ws.lines)))
        for what, body in diffs:
            if what:
                print("  --%s" % what)
            for line in body:
                print("  " + line)
    for ws in wine_sections:
        if ws.key not in host_keys:
            print("== %s: wine only (%d lines)" % (ws.key, len(ws.lines)))
    common = sum(1 for s in host_sections if s.key in wine_by_key)
    print("%d steps compared, %d equal, %d differ" % (common, common - differ, differ))
    return 1 if differ or not common else 0


if __name__ == "__main__":
    sys.exit(main())
