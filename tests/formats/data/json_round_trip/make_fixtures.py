#!/usr/bin/env python3
"""Writes the JSON round-trip fixtures: documents written by Python's json module in several styles
(NAME.STYLE.json) and, for each document, the exact text our writer gives it in its single-line layout
(NAME.expected), members ordered by the bytes of their UTF-8 names.

Run it from this folder after changing a document; commit what it writes. Floats and booleans are
left out: our number grammar refuses Python's float forms such as 1e-05, and our writer has no
operation for booleans.
"""
import json
import pathlib

DOCUMENTS = {
    "scalars": {
        "id": 5,
        "inbox": "/var/lib/kvrrelay/inbox",
        "negative": -42,
        "largest": 2**63 - 1,
        "smallest": -(2**63),
        "zero": 0,
        "nothing": None,
        "list": [1, [2, [3, []]], {}],
    },
    "strings": [
        "quote \" backslash \\ slash / apostrophe '",
        "controls \b\f\n\r\t \x00 \x01 \x1f \x7f",
        "\u00e9 \u00fc \u00df \u4e2d\u6587 \U0001F600 \U0010FFFF \u2028",
        {
            "cl\u00e9": "valeur",
            "\u043a\u043b\u044e\u0447": "\u0437\u043d\u0430\u0447\u0435\u043d\u0438\u0435",
            "": "empty name",
            "\U0001F600": "emoji name",
            "Z": "upper case sorts first",
        },
    ],
    "status": {
        "message": "status",
        "id": 31337,
        "status": [{"id": n, "error": None if n % 2 else "Download failed: 404"} for n in range(1, 6)],
    },
}


def nested(depth):
    value = "bottom"
    for level in range(depth):
        value = {"level": level, "inner": value} if level % 2 else [level, value]
    return value


DOCUMENTS["nesting"] = nested(60)

STYLES = {
    "ascii": dict(),
    "utf8": dict(ensure_ascii=False),
    "indented": dict(indent=2, ensure_ascii=False),
    "tabbed": dict(indent="\t"),
    "compact": dict(separators=(",", ":"), sort_keys=True),
}

ESCAPES = {0x08: "\\b", 0x09: "\\t", 0x0A: "\\n", 0x0C: "\\f", 0x0D: "\\r", 0x22: '\\"', 0x27: "\\u0027",
           0x2F: "\\u002F", 0x5C: "\\\\"}


def quoted(text):
    out = bytearray(b'"')
    for byte in text.encode("utf-8"):
        if byte in ESCAPES:
            out += ESCAPES[byte].encode()
        elif byte < 0x20 or byte == 0x7F:
            out += b"\\u%04x" % byte
        else:
            out.append(byte)
    return bytes(out + b'"')


def single_line(value):
    if value is None:
        return b"null"
    if isinstance(value, int):
        return str(value).encode()
    if isinstance(value, str):
        return quoted(value)
    if isinstance(value, list):
        return b"[" + b", ".join(single_line(item) for item in value) + b"]"
    names = sorted(value, key=lambda name: name.encode("utf-8"))
    return b"{" + b", ".join(quoted(name) + b" : " + single_line(value[name]) for name in names) + b"}"


def main():
    folder = pathlib.Path(__file__).parent
    for name, document in DOCUMENTS.items():
        expected = single_line(document)
        assert json.loads(expected.decode("utf-8")) == document
        (folder / f"{name}.expected").write_bytes(expected)
        for style, options in STYLES.items():
            (folder / f"{name}.{style}.json").write_bytes(json.dumps(document, **options).encode("utf-8"))


if __name__ == "__main__":
    main()
