#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz harnesses into fuzz/corpus/<harness>/.

Frame seeds start with two header bytes: byte 0 picks the board held before the first frame
(bits 0-1: none, 1, 8 or 2048 lines) and how the bytes are cut into reads (bits 2-3: one byte at a
time, whole 2048-byte reads, up to 64, up to 2048), byte 1 seeds the read sizes.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def record(line, column, fore, back, text=b""):
    return struct.pack("<hbbb", line, column, fore, back) + text + b"\0"


def frame(count, records=b"", text_length=True):
    body = struct.pack("<h", count) + records
    head = b"%04d" % len(body) if text_length else struct.pack("<i", len(body))
    return head + body


def raw_length(value):
    return struct.pack("<i", value)


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def frame_seeds(folder):
    example = frame(1, record(0, 2, 4, 15, b"Idle"))
    seeds = {
        "example-text": example,
        "example-binary": frame(1, record(0, 2, 4, 15, b"Idle"), text_length=False),
        "summary-line-minus-1": frame(1, record(-1, 0, 0, 0, b"Idle")),
        "zero-lines": frame(0),
        "zero-lines-twice": frame(0) * 2,
        "lines-2048": frame(2048, record(2047, 7, 1, 2, b"last") + record(0, 0, 3, 4, b"first")),
        "lines-2049": frame(2049, record(0, 0, 1, 2, b"x")),
        "lines-minus-1": frame(-1, record(0, 0, 1, 2, b"x")),
        "lines-min": frame(-32768),
        "text-length-1": b"00011",
        "text-length-0": b"00001",
        "binary-length-1": raw_length(1) + b"xyz",
        "binary-length-0": raw_length(0) + b"x",
        "negative-length": raw_length(-1) + b"x",
        "negative-length-min": raw_length(-2147483648) + b"x",
        "oversize-max": raw_length(0x7FFFFFFF) + b"x",
        "oversize-by-one": raw_length(29997) + b"x",
        "two-digit-text-length": b"01\0\0" + b"x",
        "one-digit-is-binary": b"0\x01\0\0x",
        "text-without-nul": frame(2, record(0, 0, 1, 2, b"ok")[:-1] + b"no-nul"),
        "five-stray-bytes": frame(2, record(0, 0, 1, 2, b"ok") + b"\x01\x00\x01\x02\x03"),
        "one-stray-byte": frame(2, record(0, 0, 1, 2, b"ok") + b"x"),
        "empty-text": frame(1, record(0, 0, 1, 2, b"")),
        "out-of-range-fields": frame(4, record(4, 0, 1, 2, b"line") + record(1, 8, 1, 2, b"col")
                                     + record(1, -1, 1, 2, b"negcol") + record(2, 3, 16, -1, b"colours")
                                     + record(-2, 0, 0, 0, b"minus2")),
        "same-cell-twice": frame(2, record(1, 1, 1, 2, b"old") + record(1, 1, 3, -5, b"new")),
        "two-frames": frame(2, record(0, 0, 1, 2, b"a")) + frame(2, record(1, 1, 3, 4, b"b")),
        "count-change": frame(2, record(0, 0, 1, 2, b"a")) + frame(3, record(2, 7, 1, 2, b"c")),
        "frame-then-garbage": frame(1, record(0, 0, 1, 2, b"a")) + b"\xde\xad\xbe\xef" * 8,
        "gbk-text": frame(1, record(0, 4, 2, 15, "空闲".encode("gbk"))),
        "garbage": bytes(range(256)),
    }
    # A frame that fills the buffer to its last byte, and one that is one byte too long for it.
    filler = b"".join(record(i % 2048, i % 8, i % 16, (i * 7) % 16, b"abcd") for i in range(2998))
    full = frame(2048, filler + record(2047, 7, 1, 2, b"abcdefgh"), text_length=False)
    assert len(full) == 30000
    seeds["fills-the-buffer"] = full
    seeds["too-long-for-the-buffer"] = raw_length(30000 - 3) + full[4:] + b"\0"
    for name, data in list(seeds.items()):
        if name.startswith("example") or name == "lines-2048":
            for cut in (1, 4, 5, 6, 11, len(data) - 1):
                seeds["%s-cut-%d" % (name, cut)] = data[:cut]
    # Header variants: board presets and read sizes. One byte at a time only where the input is small.
    for name, data in seeds.items():
        modes = [(0x03 << 2) | 0, (0x01 << 2) | 1]
        if len(data) <= 64:
            modes += [(0 << 2) | 2, (0x02 << 2) | 3]
        for i, head in enumerate(modes):
            write(folder, "%s-%d" % (name, i), bytes([head, 37 * i + 11]) + data)


def config_seeds(folder):
    seeds = {
        "empty": b"",
        "comments-only": b"// a comment\r\n//another\r\n",
        "saved": b"SERVER_IP = 127.0.0.1\r\nSERVER_PORT = 2004\r\nSLEEP_SEC = 5\r\nCOL_GROUP_NUM = 1\r\n"
                 b"LANGUAGE_TYPE = Chinese\r\nTITLE1 = " + "用户消息1".encode("gbk") + b"\r\nTITLE2 = a\r\n"
                 b"TITLE3 = b\r\n",
        "lower-case-blanks-comment": b" server_port \t=\t 2005 // the port\n",
        "single-slash-keeps-comment": b"TITLE1 = Line A/B // note\n",
        "blanks-in-title": b"TITLE2 = Agent Name\n",
        "languages": b"LANGUAGE_TYPE=en\nLANGUAGE_TYPE=Eng\nLANGUAGE_TYPE=english\nLANGUAGE_TYPE=\n",
        "groups": b"COL_GROUP_NUM=0\nCOL_GROUP_NUM=11\nCOL_GROUP_NUM=-3\nCOL_GROUP_NUM=10\nCOL_GROUP_NUM=4x\n",
        "numbers": b"SERVER_PORT=abc\nSLEEP_SEC=0\nSLEEP_SEC=-7\nSERVER_PORT=99999999999999\n",
        "digit-key-and-no-equals": b"8080=SERVER_PORT\nSERVER_PORT 2005\n",
        "no-final-line-end": b"SLEEP_SEC=9",
        "long-line": b"TITLE3=" + b"x" * 600 + b"\nTITLE1=" + b"y" * 504 + b"SLEEP_SEC=3\n",
        "nul-bytes": b"SERVER_IP=1\x0027.0.0.1\nTITLE1=a\x00b\n",
        "equals-in-value": b"TITLE1==a=b=\n",
        "cr-only": b"SERVER_IP=127.0.0.3\rSERVER_PORT=1\r",
        "crlf-and-trailing-cr": b"TITLE2=ab\r\r\n",
        "high-bytes": bytes(range(128, 256)) + b"=\n",
    }
    for name, data in seeds.items():
        write(folder, name, data)


def placement_seeds(folder):
    seeds = {
        "four-wide": b"  62", "wide-1024": b"1024", "minus-4": b"  -4", "minus-10": b"-10",
        "minus-1": b"  -1", "trailing-letters": b"200px", "no-digits": b"abc", "empty": b"",
        "plus": b" +7", "double-sign": b"--5", "max": b"2147483647", "past-max": b"2147483648",
        "past-min": b"-2147483649", "huge": b"9" * 40, "blanks": b"\t\n\v\f\r 5",
        "long-79": b"1" * 79, "long-80": b"2" * 80, "nul-inside": b"12\x0034",
    }
    for name, data in seeds.items():
        write(folder, name, data)


def main():
    for harness, make in (("frame", frame_seeds), ("config", config_seeds), ("placement", placement_seeds)):
        folder = os.path.join(HERE, "corpus", harness)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        make(folder)


if __name__ == "__main__":
    main()
