#!/usr/bin/env python3
"""Checks an HTML5 export with html.parser: every element closed in order, every list item
directly in a list, every list in the body or in a list item. Prints "ok" and the number of
list items, or the first fault; the exit status says which."""
import sys
from html.parser import HTMLParser

VOID = {"meta", "br", "img", "link", "hr", "input"}


class Lists(HTMLParser):
    def __init__(self):
        super().__init__()
        self.stack = []
        self.items = 0
        self.fault = None

    def fail(self, text):
        if self.fault is None:
            self.fault = "%s at line %d" % (text, self.getpos()[0])

    def handle_starttag(self, tag, attrs):
        if tag in VOID:
            return
        parent = self.stack[-1] if self.stack else None
        if tag == "li":
            self.items += 1
            if parent not in ("ul", "ol"):
                self.fail("li inside %s" % parent)
        if tag in ("ul", "ol") and parent not in ("li", "body"):
            self.fail("%s inside %s" % (tag, parent))
        self.stack.append(tag)

    def handle_endtag(self, tag):
        if tag in VOID:
            return
        if not self.stack or self.stack[-1] != tag:
            self.fail("</%s> closes %s" % (tag, self.stack[-1] if self.stack else "nothing"))
            return
        self.stack.pop()


parser = Lists()
with open(sys.argv[1], encoding="utf-8") as f:
    parser.feed(f.read())
parser.close()
if parser.stack:
    parser.fail("left open: %s" % " ".join(parser.stack))
if parser.fault:
    print(parser.fault)
    sys.exit(1)
print("ok %d" % parser.items)
