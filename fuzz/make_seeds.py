#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/ (run from anywhere).

Each seed is a valid input of its target's format (see the reader calls in each *_fuzzer.cpp):
valid images and replies of each kind, long payloads, announced lengths of 0xFFFF, and the
regression inputs of faults found before. Re-running the script rewrites the same files.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
UEL = b"\x1b%-12345X"
ENTER = b"@PJL ENTER LANGUAGE=ACL\r\n"


def u8(v):
    return struct.pack(">B", v & 0xFF)


def u16(v):
    return struct.pack(">H", v & 0xFFFF)


def short(data):
    assert len(data) < 256
    return u8(len(data)) + data


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# --- firmware images -------------------------------------------------------------------------

def image(type_id=b"\xaa\x55\x41\x54", body=b"\x11" * 64, label=b"FWIMG", version=b"216", extra=b"\x00",
          length_byte=None, label_zero=True):
    trailer = label + (b"\x00" if label_zero else b"") + version + extra
    length = len(trailer) + 1 if length_byte is None else length_byte
    return type_id + body + trailer + u8(length)


def image_seeds():
    write("image_file", "type2", image())
    write("image_file", "type1", image(type_id=b"\x55\xaa\x41\x54", version=b"215"))
    write("image_file", "empty-label", image(label=b"", version=b"512"))
    write("image_file", "signed-version", image(version=b" -12"))
    write("image_file", "huge-version", image(version=b"99999999999999"))
    write("image_file", "no-label-zero", image(label=b"L" * 45, label_zero=False))
    write("image_file", "negative-length", image(length_byte=0xF0))
    write("image_file", "length-past-start", image(body=b"", type_id=b"", length_byte=0x7F))
    write("image_file", "short", b"\xaa\x55\x41")
    write("image_file", "empty", b"")


# --- address texts ---------------------------------------------------------------------------

def address(setup, text, other=b"", addresses=()):
    data = u8(setup) + short(text) + short(other) + u8(len(addresses))
    for a in addresses:
        data += short(a)
    return data


def address_seeds():
    write("address_text", "ipv4", address(0, b"192.168.1.20", b"10.0.0.1"))
    write("address_text", "ipv4-port", address(0, b"10.1.2.3:9100", b"::1"))
    write("address_text", "ipv6-loopback", address(0, b"::1", b"1.2.3.4"))
    write("address_text", "ipv6-brackets-scope", address(0, b"[fe80::1%2]", b""))
    write("address_text", "scope-2147483648", address(0, b"fe80::1%2147483648", b"fe80::1%4"))
    write("address_text", "scope-too-large", address(0, b"fe80::1%4294967296", b""))
    write("address_text", "embedded-ipv4", address(0, b"::ffff:192.168.1.1", b"1:2:3:4:5:6:7:8"))
    write("address_text", "prefix", address(0, b"fe80::/64", b""))
    write("address_text", "localhost", address(0, b"localhost", b"127.0.0.1"))
    write("address_text", "named-printer",
          address(1, b"printer", b"", [b"10.0.0.9", b"fe80::9%3", b"fe80::1%99999999999"]))
    write("address_text", "name-failure", address(2, b"printer", b""))
    write("address_text", "ipv6-only", address(1 | 8, b"v6printer", b"", [b"fe80::21b:63ff:fe9a:1%12"]))
    write("address_text", "wide-text", address(0, b"\xf0\x04\x10::1", b"\xf0\xff\xfe"))
    write("address_text", "long-name", address(1, b"h" * 255, b"", [b"10.0.0.1"]))


# --- trace log -------------------------------------------------------------------------------

def diag(setup, prefix, caption, name, calls):
    data = u8(setup) + short(prefix) + short(caption) + u16(len(name)) + name
    for text, op in calls:
        data += u16(len(text)) + text + u8(op)
    return data


def diag_seeds():
    write("diag_log", "plain", diag(0, b"CORVL", b"TVQ5530 Firmware", b"", [(b"hello", 0), (b"x.bin", 1)]))
    write("diag_log", "log-file", diag(4, b"CORVL", b" ", b"trace.log", [(b"first", 0), (b"second\n", 0), (b"e", 2)]))
    write("diag_log", "long-text", diag(0, b"LOG", b"", b"", [(b"A" * 5000, 0)]))
    write("diag_log", "line-feeds", diag(4, b"P\nX", b"c", b"lf.log", [(b"a\nb\n\nc\n", 0), (b"\n", 1)]))
    write("diag_log", "long-prefix", diag(0, b"p" * 120, b"", b"", [(b"t", 0)]))
    write("diag_log", "long-path", diag(4, b"LOG", b"", b"n" * 300, [(b"after a refused path", 0)]))
    write("diag_log", "wide", diag(4, b"\xf0\x20\xac", b"\xf0\xd8\x00", b"w\xf0\x00\xe9.log", [(b"\xf0\xdc\x00z", 0)]))
    write("diag_log", "null-prefix-caption", diag(3, b"", b"", b"", [(b"%s%n", 0), (b"error", 2)]))


# --- the simulated printer's stream ----------------------------------------------------------

def record(code, target=0, checksum=0, length=0, prefix=0xAC):
    return struct.pack(">HHHHII", prefix, code, target, checksum, 0, length)


def query(code):
    return UEL + ENTER + record(code)


def checksum(data):
    total = 0
    for i in range(0, len(data) - 1, 2):
        total += data[i] << 8 | data[i + 1]
    if len(data) % 2:
        total += data[-1]
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def burn(img, target=3):
    return UEL + ENTER + record(15, target, checksum(img), len(img)) + img


# Rule: command index (0 any, 1 version, 2 device ID, 3 burn, 4 build information), skip,
# times + 1, flags (1 silent, 2 prefix, 4 command, 8 status, 16 payload length, 32 payload,
# 64 close after), delay, pieces, then the flagged fields in that order.
def rule(command=0, skip=0, times=-1, silent=False, prefix=None, cmd=None, status=None, payload_length=None,
         payload=None, close_after=None, delay=0, pieces=()):
    flags = (1 if silent else 0) | (2 if prefix is not None else 0) | (4 if cmd is not None else 0) | \
            (8 if status is not None else 0) | (16 if payload_length is not None else 0) | \
            (32 if payload is not None else 0) | (64 if close_after is not None else 0)
    data = u8(command) + u8(skip) + u8(times + 1) + u8(flags) + u8(delay) + u8(len(pieces))
    for p in pieces:
        data += u8(p)
    for value in (prefix, cmd, status, payload_length):
        if value is not None:
            data += u16(value)
    if payload is not None:
        data += short(payload)
    if close_after is not None:
        data += u16(close_after)
    return data


def session(stream, rules=(), version=215, drop_after=None, splits=()):
    data = u16(version) + u8(len(rules)) + b"".join(rules)
    data += u8(1 if drop_after is not None else 0) + u16(drop_after or 0)
    data += u8(len(splits)) + b"".join(u16(s) for s in splits)
    return data + stream


def session_seeds():
    img = image(body=b"\x22" * 100, version=b"300")
    write("printer_session", "three-queries", session(query(1) + query(6) + query(19) + UEL))
    write("printer_session", "byte-by-byte", session(query(1), splits=[1] * 31))
    write("printer_session", "burn", session(burn(img) + UEL + query(1), splits=[40, 3, 100]))
    write("printer_session", "burn-refused", session(burn(img, target=7) + query(1)))
    write("printer_session", "faults", session(query(6) + query(19) + query(1), rules=[
        rule(2, pieces=[10, 4], delay=50), rule(4, payload_length=0xFFFF, payload=b"p" * 200),
        rule(1, skip=0, times=1, prefix=0xAD, cmd=2, status=0)], splits=[7, 30]))
    write("printer_session", "drop-in-image", session(burn(img), drop_after=60, splits=[59, 1]))
    write("printer_session", "noise", session(b"plain text\n" + UEL + b"@PJL JOB NAME=x\r\n" + ENTER +
                                              record(1, prefix=0xAD) + query(0x42)))
    # Regression: a reply that closes the connection ends the session; the burn behind it in the
    # same write was once taken and changed the version.
    write("printer_session", "regression-close-then-burn",
          session(query(1) + record(15, 3, checksum(img), len(img)) + img + UEL, rules=[rule(1, close_after=5)]))
    # Regression: a PJL line over 256 bytes with a UEL inside once gave a reply or none,
    # depending on whether its first 257 bytes arrived before its end.
    long_line = UEL + b"@PJL COMMENT " + b"x" * 300 + UEL + ENTER + record(1)
    write("printer_session", "regression-long-pjl-line", session(long_line, splits=[280]))


# --- printer replies on the three channels ---------------------------------------------------

def reply(code, status=1, field=b"", prefix=0xAC):
    return struct.pack(">HHH", prefix, code, status) + field.ljust(10, b"\x00")[:10]


def info_reply(code, payload, announced=None):
    return reply(code, field=u16(len(payload) if announced is None else announced)) + payload


DEVICE_ID = b"MFG:TV;CMD:PJL,ACL;MDL:TV Vexline Q5530n MFP;CLS:PRINTER;"
BUILD_INFO = b"FW:Q5530n_V0215, ENGINE_0112, BOOT_0031; PANEL: WESTERN;"


def local(kind, query_index, steps, failing_writes=0):
    data = u8(kind) + u8(query_index) + u8(failing_writes)
    for step in steps:
        data += step
    return data


def chunk(data):
    return u8(0) + u16(len(data)) + data


TIME_OUT = u8(1)
EMPTY_READ = u8(2)


def network(query_index, connections):
    data = u8(1) + u8(query_index)
    for pieces, end in connections:
        for piece in pieces:
            data += chunk(piece)
        data += u8({"hold": 1, "close": 2, "reset": 3}[end])
    return data


def replies_seeds():
    devid = u16(len(DEVICE_ID)) + DEVICE_ID
    for kind, name in ((0, "usb"), (2, "parallel")):
        write("printer_replies", name + "-version", local(kind, 2, [chunk(reply(1, field=b"215"))]))
        write("printer_replies", name + "-device-id", local(kind, 0, [chunk(info_reply(6, devid))]))
        write("printer_replies", name + "-build-info", local(kind, 1, [chunk(info_reply(19, BUILD_INFO))]))
    write("printer_replies", "usb-version-in-pieces-after-time-out",
          local(0, 2, [TIME_OUT, chunk(reply(1, field=b"216")[:5]), EMPTY_READ, chunk(reply(1, field=b"216")[5:])]))
    write("printer_replies", "usb-announced-ffff", local(0, 1, [chunk(info_reply(19, b"B" * 2000, 0xFFFF))]))
    write("printer_replies", "usb-long-payload", local(0, 0, [chunk(info_reply(6, b"D" * 1500)), chunk(b"E" * 600)]))
    write("printer_replies", "usb-failed-write", local(0, 2, [chunk(reply(1, field=b"215"))], failing_writes=0x04))
    write("printer_replies", "usb-wrong-fields", local(0, 1, [chunk(reply(19, status=0, prefix=0xAD))]))
    write("printer_replies", "parallel-signed-version", local(2, 2, [chunk(reply(1, field=b" -2147483649"))]))
    write("printer_replies", "net-version", network(2, [([reply(1, field=b"215")], "close")]))
    write("printer_replies", "net-device-id", network(0, [([reply(6, field=u16(len(devid))), devid], "close")]))
    write("printer_replies", "net-build-info", network(1, [([reply(19, field=u16(len(BUILD_INFO))), BUILD_INFO], "close")]))
    write("printer_replies", "net-announced-ffff", network(1, [([info_reply(19, b"N" * 2000, 0xFFFF)], "close")]))
    write("printer_replies", "net-long-device-id", network(0, [([reply(6, field=u16(1500)), b"\x05" + b"I" * 1499], "close")]))
    write("printer_replies", "net-reply-in-pieces", network(2, [([reply(1, field=b"215")[:7], reply(1, field=b"215")[7:]], "close")]))
    write("printer_replies", "net-time-out", network(1, [([], "hold")]))
    write("printer_replies", "net-reset", network(0, [([reply(6, field=u16(10))], "reset")]))


if __name__ == "__main__":
    image_seeds()
    address_seeds()
    diag_seeds()
    session_seeds()
    replies_seeds()
