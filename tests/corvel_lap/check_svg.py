#!/usr/bin/env python3
"""Parses SVG plots with xml.etree: each must be well-formed XML with an <svg> root in the SVG
namespace, draw lines, and be self-contained (no scripts, no links, no url() outside the
document).  Usage: check_svg.py PLOT.svg..."""
import sys
import xml.etree.ElementTree as ET

SVG = "{http://www.w3.org/2000/svg}"


def problem_of(path):
    root = ET.parse(path).getroot()  # raises on malformed XML
    if root.tag != SVG + "svg":
        return f"root element is {root.tag}"
    tags = {element.tag for element in root.iter()}
    if SVG + "script" in tags or SVG + "foreignObject" in tags:
        return "contains a script or foreign object"
    if SVG + "text" not in tags:
        return "has no text"
    for element in root.iter():
        for name, value in element.attrib.items():
            if "href" in name:
                return f"links to {value}"
            if "url(" in value and not value.startswith("url(#"):
                return f"refers outside the document: {value}"
            for word in ("nan", "inf"):
                if word in value.lower() and name not in ("font-family",):
                    return f"{name}={value!r} holds {word}"
    return None


def main(paths):
    failed = False
    for path in paths:
        problem = problem_of(path)
        if problem:
            print(f"SVG check failed for {path}: {problem}", file=sys.stderr)
            failed = True
        else:
            print(f"{path}: well-formed SVG")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
