#!/usr/bin/env python3
"""Compares the links of each page as reference-links.mjs gives them with lurvik-cli's links
report: the share of (page, link) pairs both name, and every pair only one of them names."""
import csv
import sys
from collections import defaultdict

reference_file, report_file, base = sys.argv[1:4]

reference = defaultdict(set)
page = None
with open(reference_file, encoding="utf-8") as f:
    for line in f:
        line = line.rstrip("\n")
        if line.startswith("== "):
            page = base + line[3:]
        elif line.startswith("title ") or not line:
            continue
        elif page is not None:
            reference[page].add(line)

ours = defaultdict(set)
with open(report_file, encoding="utf-8", newline="") as f:
    rows = csv.reader(f, delimiter="\t", quoting=csv.QUOTE_NONE)
    header = next(rows)
    column = {name: i for i, name in enumerate(header)}
    for row in rows:
        url = row[column["url"]].replace("\\t", "\t").replace("\\n", "\n").replace("\\\\", "\\")
        target = row[column["target"]]
        if target == "broken: Error - Invalid address":
            ours[row[column["page"]]].add("invalid:" + url)
        elif url.startswith("http://") or url.startswith("https://"):
            ours[row[column["page"]]].add(url.split("#", 1)[0])

pages = sorted(set(reference) & set(ours))
agreed = only_reference = only_ours = 0
differences = []
for p in pages:
    agreed += len(reference[p] & ours[p])
    for link in sorted(reference[p] - ours[p]):
        only_reference += 1
        differences.append(f"  {p}: a browser requests {link}")
    for link in sorted(ours[p] - reference[p]):
        only_ours += 1
        differences.append(f"  {p}: Lurvik reads {link}")
total = agreed + only_reference + only_ours
print(f"pages compared: {len(pages)} (reference {len(reference)}, crawled {len(ours)})")
print(f"(page, link) pairs: {total}, agreeing {agreed} ({100.0 * agreed / max(total, 1):.3f} %)")
print(f"only the reference: {only_reference}, only Lurvik: {only_ours}")
for line in differences[:200]:
    print(line)
