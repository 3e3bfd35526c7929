#!/usr/bin/env python3
"""Writes the release package nimbard-<version>-win64.zip.

    make_dist.py --version 1.0.0 --exe dist/nimbard.exe \\
        --guide docs/windows-guide.md --license LICENSE --out dist/nimbard-1.0.0-win64.zip

The package holds, in this order: nimbard.exe, README.txt (the Windows guide
as plain text with CR LF line ends; each picture named, pointing at the HTML
guide), nimbard-guide.html (the guide as one web page with its pictures
inside, made by pandoc), LICENSE (CR LF) and SHA256SUMS (the sha256sum lines
of the other four). The same inputs give the same bytes: every entry has the
same fixed time and attributes, whatever the files on disk say, and pandoc
writes no date. The guide must name the package of the version being built.
"""
import argparse
import hashlib
import io
import os
import re
import subprocess
import sys
import textwrap
import zipfile

# Fixed, so that the package does not depend on when or where it was made.
ENTRY_TIME = (2026, 1, 1, 0, 0, 0)
WIDTH = 78
HTML_GUIDE = "nimbard-guide.html"


# ------------------------------------------------------------ inline Markdown

def _inline_plain(text):
    """Markdown outside code spans: links, images, emphasis, escapes."""
    text = re.sub(r"!\[([^\]]*)\]\([^)]*\)", rf"[Picture: \1 (in {HTML_GUIDE})]", text)

    def link(m):
        label, target = m.group(1), m.group(2)
        return f"{label} ({target})" if re.match(r"https?://", target) else label

    text = re.sub(r"\[([^\]]+)\]\(([^)]*)\)", link, text)
    text = re.sub(r"<(https?://[^>]+)>", r"\1", text)
    # Bold may enclose a code span, so its marks are dropped one by one.
    text = text.replace("**", "")
    text = re.sub(r"(?<![\w*])\*(?!\s)(.+?)(?<!\s)\*(?![\w*])", r"\1", text)
    return re.sub(r"\\([\\`*_{}\[\]()#+\-.!|<>])", r"\1", text)


def inline(text):
    """One line of Markdown as plain text; code spans keep their content."""
    parts = re.split(r"(`+)(.+?)\1", text)
    out = []
    # re.split with two groups gives: plain, ticks, code, plain, ticks, code, ...
    for i in range(0, len(parts), 3):
        out.append(_inline_plain(parts[i]))
        if i + 2 < len(parts):
            out.append(parts[i + 2].strip())
    return "".join(out)


# ------------------------------------------------------------------- blocks

def _wrap(text, first="", rest=""):
    return textwrap.wrap(text, WIDTH, initial_indent=first, subsequent_indent=rest,
                         break_long_words=False, break_on_hyphens=False) or [first.rstrip()]


def _table_cells(line):
    row = line.strip()
    if row.startswith("|"):
        row = row[1:]
    if row.endswith("|") and not row.endswith("\\|"):
        row = row[:-1]
    return [c.strip() for c in re.split(r"(?<!\\)\|", row)]


def _table(lines):
    """A table as one block per row: "Header: cell" lines, blank between rows."""
    header = [inline(c) for c in _table_cells(lines[0])]
    out = []
    for line in lines[2:]:
        if out:
            out.append("")
        for name, cell in zip(header, _table_cells(line)):
            if cell:
                label = f"{name}: " if name else ""
                out += _wrap(inline(cell), label, "    ")
    return out


def markdown_to_text(markdown):
    """The guide as plain text lines (no line ends)."""
    markdown = re.sub(r"<!--.*?-->\n?", "", markdown, flags=re.S)
    lines = markdown.split("\n")
    out = []
    i = 0

    def blank():
        if out and out[-1] != "":
            out.append("")

    while i < len(lines):
        line = lines[i]
        stripped = line.strip()
        if not stripped:
            blank()
            i += 1
        elif stripped.startswith("```"):
            blank()
            i += 1
            while i < len(lines) and not lines[i].strip().startswith("```"):
                out.append(("    " + lines[i]).rstrip())
                i += 1
            i += 1
            blank()
        elif stripped.startswith("#"):
            level = len(stripped) - len(stripped.lstrip("#"))
            title = inline(stripped[level:].strip())
            blank()
            out.append(title)
            out.append("=-~"[min(level, 3) - 1] * len(title))
            out.append("")
            i += 1
        elif stripped.startswith("|"):
            block = []
            while i < len(lines) and lines[i].strip().startswith("|"):
                block.append(lines[i])
                i += 1
            blank()
            out += _table(block)
            out.append("")
        else:
            # A paragraph or a list item, with its continuation lines.
            item = re.match(r"(\s*)([-*]|\d+\.)\s+(.*)", line)
            quote = re.match(r"\s*>\s?(.*)", line)
            if item:
                indent = " " * (len(item.group(1)) // 2 * 3)
                marker = item.group(2) if item.group(2)[0].isdigit() else "-"
                first, rest = f"{indent}{marker} ", indent + " " * (len(marker) + 1)
                text = [item.group(3)]
            elif quote:
                first = rest = "  "
                text = [quote.group(1)]
            else:
                first = rest = ""
                text = [stripped]
            i += 1
            while i < len(lines):
                nxt = lines[i]
                if (not nxt.strip() or nxt.strip().startswith(("```", "#", "|"))
                        or re.match(r"\s*([-*]|\d+\.)\s+", nxt)):
                    break
                text.append(re.sub(r"^\s*>\s?", "", nxt).strip() if quote else nxt.strip())
                i += 1
            joined = " ".join(text)
            # An image alone on its line stays a line of its own.
            out += _wrap(inline(joined), first, rest)
    while out and out[-1] == "":
        out.pop()
    return out


# ------------------------------------------------------------------ package

def crlf(text):
    return "\r\n".join(text.replace("\r\n", "\n").rstrip("\n").split("\n")) + "\r\n"


def check_guide_version(guide, version):
    named = set(re.findall(r"nimbard-(\d+(?:\.\d+)*)-win64\.zip", guide))
    if named != {version}:
        found = ", ".join(sorted(named)) or "none"
        sys.exit(f"make_dist: the guide must name nimbard-{version}-win64.zip "
                 f"(the project version) and no other package; it names: {found}")


def entry(name, mode):
    info = zipfile.ZipInfo(name, date_time=ENTRY_TIME)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 3  # Unix, so that the mode below is what unzip uses
    info.external_attr = (0o100000 | mode) << 16
    return info


def html_guide(guide_path):
    """The guide as one standalone HTML page, its pictures embedded as data URLs.

    GitHub's reader, so that the links between sections keep their anchors;
    the pictures are found beside the guide. No date or path goes in."""
    title = "nimbard on Windows: a user's guide"
    command = ["pandoc", "--from=gfm", "--to=html5", "--standalone", "--self-contained",
               f"--resource-path={os.path.dirname(os.path.abspath(guide_path))}",
               f"--metadata=pagetitle:{title}", "--metadata=lang:en", "--variable=maxwidth:60em",
               os.path.abspath(guide_path)]
    try:
        done = subprocess.run(command, capture_output=True, check=False)
    except FileNotFoundError:
        sys.exit("make_dist: pandoc is missing (Debian package pandoc; make deps installs it)")
    if done.returncode != 0:
        sys.exit(f"make_dist: pandoc failed ({done.returncode}): {done.stderr.decode(errors='replace').strip()}")
    return done.stdout


def build_package(exe_bytes, guide, html, license_text):
    readme = crlf("\n".join(markdown_to_text(guide))).encode("utf-8")
    files = [("nimbard.exe", exe_bytes, 0o755),
             ("README.txt", readme, 0o644),
             (HTML_GUIDE, html, 0o644),
             ("LICENSE", crlf(license_text).encode("utf-8"), 0o644)]
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data, _ in files)
    files.append(("SHA256SUMS", sums.encode("ascii"), 0o644))
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as package:
        for name, data, mode in files:
            package.writestr(entry(name, mode), data, compresslevel=9)
    return buffer.getvalue()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for option in ("--version", "--exe", "--guide", "--license", "--out"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    with open(args.guide, encoding="utf-8") as f:
        guide = f.read()
    check_guide_version(guide, args.version)
    with open(args.exe, "rb") as f:
        exe_bytes = f.read()
    with open(args.license, encoding="utf-8") as f:
        license_text = f.read()
    data = build_package(exe_bytes, guide, html_guide(args.guide), license_text)
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    temp = args.out + ".tmp"
    with open(temp, "wb") as f:
        f.write(data)
    os.replace(temp, args.out)
    print(f"{args.out}: {len(data)} bytes, sha256 {hashlib.sha256(data).hexdigest()}")


if __name__ == "__main__":
    main()
