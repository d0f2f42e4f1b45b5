"""Writes the AppStream data: the template with its <releases> filled in.

usage: metainfo.py TEMPLATE CHANGELOG.md DEBIAN_CHANGELOG OUTPUT

Each released version of CHANGELOG.md ("## 1.02 (2026-12-09)") becomes a release whose
description lists that section's items. Its date is the one of the version's entry in
debian/changelog, the date the package says it was released; the heading's own date stands only
where debian/changelog is not there (an upstream tarball) or has no entry for the version.
"""

import email.utils
import os
import re
import sys
from xml.sax.saxutils import escape

HEADING = re.compile(r"^## ([0-9][0-9.]*) \((\d{4}-\d{2}-\d{2})\)\s*$")
DEBIAN_ENTRY = re.compile(r"^\S+ \(([^)]+)\) ")
DEBIAN_TRAILER = re.compile(r"^ -- .*>  (.*)$")


def releases(changelog):
    """[(version, heading date, [item text])] in the file's order, newest first."""
    found, current = [], None
    with open(changelog, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("## "):
                match = HEADING.match(line)
                current = (match.group(1), match.group(2), []) if match else None
                if current:
                    found.append(current)
            elif current is None:
                continue
            elif line.startswith("- "):
                current[2].append(line[2:].strip())
            elif line.startswith("  ") and current[2]:
                current[2][-1] += " " + line.strip()
    return found


def debian_dates(changelog):
    """upstream version -> the date of its first entry in debian/changelog (the newest)."""
    dates, version = {}, None
    if not os.path.exists(changelog):
        return dates
    with open(changelog, encoding="utf-8") as f:
        for line in f:
            entry = DEBIAN_ENTRY.match(line)
            if entry:
                full = entry.group(1).split(":", 1)[-1]
                version = full.rsplit("-", 1)[0] if "-" in full else full
                continue
            trailer = DEBIAN_TRAILER.match(line.rstrip("\n"))
            if trailer and version and version not in dates:
                dates[version] = email.utils.parsedate_to_datetime(trailer.group(1)).strftime(
                    "%Y-%m-%d")
    return dates


def text(item):
    # Descriptions are plain paragraphs and lists: the Markdown code marks go.
    return escape(item.replace("`", ""))


def main():
    template, changelog, debian_changelog, output = sys.argv[1:]
    dates = debian_dates(debian_changelog)
    lines = []
    for version, heading_date, items in releases(changelog):
        lines.append(f'    <release version="{version}" date="{dates.get(version, heading_date)}">')
        lines.append("      <description>")
        lines.append("        <ul>")
        lines += [f"          <li>{text(item)}</li>" for item in items]
        lines.append("        </ul>")
        lines.append("      </description>")
        lines.append("    </release>")
    with open(template, encoding="utf-8") as f:
        data = f.read()
    with open(output, "w", encoding="utf-8") as f:
        f.write(data.replace("    @RELEASES@\n", "\n".join(lines) + "\n"))


if __name__ == "__main__":
    main()
