#!/usr/bin/env python3
"""Reads the relay's download reports with Python's own parsers, as a second opinion for the tests.

  html FILE       parses the page with html.parser; prints "starttag <tag>" for each start tag,
                  "href <value>" for each A element's HREF (references resolved) and "text <data>"
                  for each piece of character data that is not blank
  xml FILE        parses the document with xml.etree.ElementTree; prints "<path>=<text>" for every
                  element with text, the path joined by "/", in document order
  inflate IN OUT  writes the zlib stream IN decompressed into OUT

Line ends inside printed values are written as \\n and \\r. Exit status 1 with the parser's message
on standard error when the input does not parse.
"""
import html.parser
import sys
import xml.etree.ElementTree as ElementTree
import zlib


def shown(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")


class PageReader(html.parser.HTMLParser):
    def handle_starttag(self, tag, attrs):
        print("starttag " + tag)
        if tag == "a":
            for name, value in attrs:
                if name == "href":
                    print("href " + shown(value or ""))

    def handle_data(self, data):
        if data.strip():
            print("text " + shown(data.strip()))


def read_html(path):
    with open(path, encoding="utf-8") as page:
        reader = PageReader()
        reader.feed(page.read())
        reader.close()


def walk(element, prefix):
    path = prefix + element.tag
    if element.text and element.text.strip():
        print(path + "=" + shown(element.text))
    for child in element:
        walk(child, path + "/")


def read_xml(path):
    with open(path, "rb") as document:
        walk(ElementTree.fromstring(document.read()), "")


def inflate(source, target):
    with open(source, "rb") as compressed, open(target, "wb") as plain:
        plain.write(zlib.decompress(compressed.read()))


def main():
    command = sys.argv[1]
    try:
        if command == "html":
            read_html(sys.argv[2])
        elif command == "xml":
            read_xml(sys.argv[2])
        elif command == "inflate":
            inflate(sys.argv[2], sys.argv[3])
        else:
            raise ValueError("unknown command " + command)
    except (ElementTree.ParseError, zlib.error, UnicodeDecodeError) as error:
        print(str(error), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
