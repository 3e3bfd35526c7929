#!/usr/bin/env python3
"""The Windows guide's troubleshooting tables against the program's source.

Texts in backquotes in the first two columns of the tables of the guide's
Troubleshooting section (a message, and a message box's title) are texts the
program writes, with <placeholders> for their variable parts. Cut at its
placeholders, each piece must be a whole string literal of src/ (adjacent
literals joined; a literal may also be cut at printf conversions), as the
program builds L"... (HTTP " + DecimalText(status) + L")."; and where a
message-writing call (Log*, Set*Text, MessageBox*) builds a text that begins
alike, the text must follow that call's pieces. Otherwise the guide quotes
what the program no longer writes, and the check fails. It then counts those
calls' texts that the guide mentions, and lists the others.

    python3 tests/guide_messages.py [ROOT]
"""
import re
import sys
from pathlib import Path

ROOT = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
PLACEHOLDER = re.compile(r"<[a-z][a-z ]*>")
PRINTF = re.compile(r"%(?:\d+\$)?[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|z)?[diouxXcsSfgep]")
MESSAGE_CALL = re.compile(r"(?:\w+::)*(?:Log\w*|Set\w*Text\w*|MessageBox\w*)")
TOKEN = re.compile(r"""(?P<skip>//[^\n]*|/\*.*?\*/|(?:u8|[uUL])?'(?:[^'\\\n]|\\.)*')
    | (?:u8|[uUL])?"(?P<string>(?:[^"\\\n]|\\.)*)"
    | (?P<word>\w+(?:::\w+)*) | (?P<punct>\S)""", re.S | re.X)
ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "0": "\0"}

def tokens(text):
    """(kind, text, line): string literals unescaped, adjacent ones joined."""
    out = []
    for m in TOKEN.finditer(text):
        if m.lastgroup == "skip":
            continue
        if m.lastgroup == "string":
            value = re.sub(r"\\(.)", lambda e: ESCAPES.get(e.group(1), e.group(1)), m.group("string"))
            if out and out[-1][0] == "string":
                out[-1] = ("string", out[-1][1] + value, out[-1][2])
                continue
            out.append(("string", value, text.count("\n", 0, m.start()) + 1))
        else:
            out.append((m.lastgroup, m.group(0), text.count("\n", 0, m.start()) + 1))
    return out


def split_top(toks, separators):
    """Splits at punctuation outside brackets; a "?" also ends the split."""
    parts, depth = [[]], 0
    for tok in toks:
        depth += (tok[1] in "([{") - (tok[1] in ")]}") if tok[0] == "punct" else 0
        if depth == 0 and tok[0] == "punct" and tok[1] in separators:
            parts.append([])
        else:
            parts[-1].append(tok)
    return parts


def templates_of(expr, named):
    """The texts an expression builds: tuples of literal pieces, None where a
    value goes in. cond ? a : b gives those of a and of b."""
    cond = split_top(expr, "?")
    if len(cond) == 2 and len(split_top(cond[1], ":")) == 2:
        a, b = split_top(cond[1], ":")
        return templates_of(a, named) + templates_of(b, named)
    out = []
    for operand in split_top(expr, "+"):
        kinds = [t[0] for t in operand]
        text = None
        if kinds == ["string"]:
            text = operand[0][1]
        elif kinds == ["word"]:
            text = named.get(operand[0][1].split("::")[-1])
        elif kinds == ["word", "punct", "string", "punct"]:  # std::wstring(L"...")
            text = operand[2][1]
        if text is None:
            out += [] if out and out[-1] is None else [None]
        elif out and out[-1] is not None:
            out[-1] += text
        else:
            out.append(text)
    return [tuple(out)] if any(p is not None for p in out) else []


def source_texts(files):
    """Every literal piece of src/, and {template: "file:line"} of the
    message-writing calls (their first argument that holds a literal)."""
    toks = {f: tokens(f.read_text(encoding="utf-8", errors="replace")) for f in files}
    named, fragments, calls = {}, set(), {}
    for ts in toks.values():
        for i, (kind, value, _) in enumerate(ts):
            if kind == "string":
                fragments.add(value)
                fragments.update(p for p in PRINTF.split(value) if p)
            # Constants: a const or constexpr kName[] = L"..."; or kName = L"...";
            for shape in ("[]=", "="):
                k = i + 1 + len(shape)
                if (kind == "word" and "".join(t[1] for t in ts[i + 1:k]) == shape
                        and k + 1 < len(ts) and ts[k][0] == "string" and ts[k + 1][1] == ";"):
                    start = max((j for j in range(i) if ts[j][1] in ";{}"), default=-1)
                    if any(t[1] in ("const", "constexpr") for t in ts[start + 1:i]):
                        named[value] = ts[k][1]
    for f, ts in toks.items():
        for i, (kind, value, line) in enumerate(ts):
            if kind != "word" or not MESSAGE_CALL.fullmatch(value) or [t[1] for t in ts[i + 1:i + 2]] != ["("]:
                continue
            depth, j = 0, i + 1
            while (depth or j == i + 1) and j < len(ts):
                depth += (ts[j][1] == "(") - (ts[j][1] == ")") if ts[j][0] == "punct" else 0
                j += 1
            for arg in split_top(ts[i + 2:j - 1], ","):
                made = templates_of(arg, named)
                for t in made:
                    calls.setdefault(t, f"{f.relative_to(ROOT)}:{line}")
                if made:
                    break
    return fragments, calls


def guide_messages(text):
    section = re.search(r"^## [^\n]*Troubleshooting[^\n]*\n(.*?)(?=^## |\Z)", text, re.M | re.S)
    cells = [re.split(r"(?<!\\)\|", line)[1:3] for line in section.group(1).splitlines()
             if line.startswith("|")] if section else []
    return list(dict.fromkeys(m for row in cells for m in re.findall(r"`([^`]+)`", "|".join(row))))


def pieces(message):
    return [p for p in PLACEHOLDER.split(message) if p]


def covers(message, template):
    """The template's pieces appear, in order, among the message's (the guide
    may cut a value further, as <domain>/<record>)."""
    left = iter(pieces(message))
    return all(any(p == q for q in left) for p in template if p is not None)


def quoted_rightly(message, fragments, calls):
    cut = pieces(message)
    if not cut or any(p not in fragments for p in cut):
        return False
    alike = [t for t in calls if next(p for p in t if p is not None) == cut[0]]
    return not alike or any(covers(message, t) for t in alike)


def main():
    files = sorted(p for p in (ROOT / "src").rglob("*") if p.suffix in (".cpp", ".h"))
    fragments, calls = source_texts(files)
    messages = guide_messages((ROOT / "docs" / "windows-guide.md").read_text(encoding="utf-8"))
    if not messages:
        print("FAIL the guide's Troubleshooting section quotes no message")
        return 1
    found = {m: quoted_rightly(m, fragments, calls) for m in messages}
    errors = []
    for message in (m for m, ok in found.items() if not ok):
        missing = [p for p in pieces(message) if p not in fragments]
        errors.append(f"not in the source: `{message}` "
                      + (f"(not found: {missing})" if missing else "(built otherwise there)"))
    uncovered = [(w, t) for t, w in calls.items() if not any(covers(m, t) for m in messages)]
    print(f"guide: {len(messages)} texts quoted, {sum(found.values())} found in src/")
    print(f"source: {len(calls) - len(uncovered)} of {len(calls)} message templates in the guide")
    for where, t in sorted(uncovered):
        print(f"  not in the guide: {''.join('<value>' if p is None else p for p in t)!r} ({where})")
    for error in errors:
        print("FAIL " + error)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
