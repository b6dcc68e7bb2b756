#!/usr/bin/env python3
"""Parses a Find results file with html.parser; prints the link targets of its list items, one a line.

The heading's link is left out, so the output names exactly the results."""
import sys
from html.parser import HTMLParser


class Links(HTMLParser):
    def __init__(self):
        super().__init__()
        self.in_item = False
        self.targets = []

    def handle_starttag(self, tag, attrs):
        if tag == "li":
            self.in_item = True
        elif tag == "a" and self.in_item:
            self.targets.append(dict(attrs).get("href", ""))
            self.in_item = False


parser = Links()
with open(sys.argv[1], encoding="utf-8", newline="") as f:
    parser.feed(f.read())
parser.close()
print("\n".join(parser.targets))
