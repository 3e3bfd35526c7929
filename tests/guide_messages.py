#!/usr/bin/env python3
"""python3 tests/guide_messages.py [ROOT]: the guide's troubleshooting quotes against src/.

A quote (backquoted, first two columns) cut at its <placeholders> must be whole literals of src/ (adjacent ones
joined, also cut at printf conversions) and, where a call that shows or logs a text (Log*, Set*Text, MessageBox*,
ShowBalloon, ShowBox; its text given whole, or built before in a std::wstring variable) builds
a text beginning alike, follow that call's pieces. Counts the calls' texts the guide covers, lists the others.
"""
import re
import sys
from pathlib import Path

ROOT = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
PLACEHOLDER = re.compile(r"<[a-z][a-z ]*>")
PRINTF = re.compile(r"%(?:\d+\$)?[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|z)?[diouxXcsSfgep]")
CALL = re.compile(r"(?:\w+::)*(?:Log\w*|Set\w*Text\w*|MessageBox\w*|ShowBalloon|ShowBox)")
# A text built in a variable first: std::wstring NAME = EXPR; (const or not), shown later by NAME or NAME.c_str().
ASSIGNED = re.compile(r"^(?:const )?std::wstring$")
TOKEN = re.compile(r"""//[^\n]*|/\*.*?\*/|(?:u8|[uUL])?'(?:[^'\\\n]|\\.)*'
    | (?:u8|[uUL])?"(?P<s>(?:[^"\\\n]|\\.)*)" | (?P<w>\w+(?:::\w+)*) | (?P<p>\S)""", re.S | re.X)
ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "0": "\0"}
CONSTANT = re.compile(r'\bconst(?:expr)?\b[^;{}]*?\b(\w+)(?:\[\])?\s*=\s*((?:(?:u8|[uUL])?"(?:[^"\\\n]|\\.)*"\s*)+);')


def tokens(text):
    """[kind, text, line]: s a literal (unescaped, adjacent ones joined), w a word, p punctuation."""
    out = []
    for m in TOKEN.finditer(text):
        kind = m.lastgroup
        value = re.sub(r"\\(.)", lambda e: ESCAPES.get(e[1], e[1]), m["s"]) if kind == "s" else m[0]
        if kind == "s" and out and out[-1][0] == "s":
            out[-1][1] += value
        elif kind:
            out.append([kind, value, text.count("\n", 0, m.start()) + 1])
    return out


def split(toks, separators):
    """Cuts at punctuation outside brackets; ends at an unmatched closing bracket."""
    parts, depth = [[]], 0
    for t in toks:
        depth += (t[1] in "([{") - (t[1] in ")]}") if t[0] == "p" else 0
        if depth < 0:
            break
        if depth == 0 and t[0] == "p" and t[1] in separators:
            parts.append([])
        else:
            parts[-1].append(t)
    return parts


def templates(expr, named):
    """Texts an expression builds: tuples of literal pieces, None for a value; c ? a : b gives a's and b's."""
    cond = split(expr, "?")
    if len(cond) >= 2:  # c ? a : rest, where rest may hold further c ? a : b
        after = expr[len(cond[0]) + 1:]
        branch = split(after, ":")[0]
        return templates(branch, named) + templates(after[len(branch) + 1:], named)
    out = []
    for operand in split(expr, "+"):
        kinds = "".join(t[0] for t in operand)  # L"...", std::wstring(L"...") or a constant
        text = operand[0][1] if kinds == "s" else operand[2][1] if kinds == "wpsp" else named.get(operand[0][1].split("::")[-1]) if kinds == "w" else None
        if not out or (text is None) != (out[-1] is None):
            out.append(text)
        elif text is not None:
            out[-1] += text
    return [tuple(out)] if any(out) else []  # an empty text is no message


def source_texts():
    """Every literal piece of src/, and {template: "file:line"} of the message-writing calls."""
    texts = {f: f.read_text(encoding="utf-8", errors="replace") for f in sorted((ROOT / "src").rglob("*")) if f.suffix in (".cpp", ".h")}
    named = {m[1]: tokens(m[2])[0][1] for text in texts.values() for m in CONSTANT.finditer(text)}
    fragments, calls = set(), {}
    for f, text in texts.items():
        ts = tokens(text)
        built = {}  # variable -> the templates of its latest "std::wstring NAME = EXPR;"
        for i, (kind, value, line) in enumerate(ts):
            if kind == "s":
                fragments.update([value] + [p for p in PRINTF.split(value) if p])
            elif kind == "w" and value == "std::wstring" and ts[i + 1:i + 3] and ts[i + 1][0] == "w" and ts[i + 2][1] == "=":
                built[ts[i + 1][1]] = templates(split(ts[i + 3:], ";")[0], named)
            elif kind == "w" and CALL.fullmatch(value) and ts[i + 1:i + 2] and ts[i + 1][1] == "(":
                # The text is the first argument that holds a literal, or a variable built from literals.
                def argument(arg):
                    words = [t[1] for t in arg]
                    if words and words[0] in built and words[1:] in ([], [".", "c_str", "(", ")"]):
                        return built[words[0]]
                    return templates(arg, named)
                for t in next((t for arg in split(ts[i + 2:], ",") for t in [argument(arg)] if t), []):
                    calls.setdefault(t, f"{f.relative_to(ROOT)}:{line}")
    return fragments, calls


def pieces(message):
    return [p for p in PLACEHOLDER.split(message) if p]


def covers(message, template):
    """The template's pieces appear in order among the message's (which may cut a value further)."""
    left = iter(pieces(message))
    return all(any(p == q for q in left) for p in template if p is not None)


def main():
    fragments, calls = source_texts()
    guide = (ROOT / "docs" / "windows-guide.md").read_text(encoding="utf-8")
    # The tables of the Troubleshooting section and of the reference of every message after it.
    sections = re.findall(r"^## [^\n]*(?:Troubleshooting|Reference)[^\n]*\n(.*?)(?=^## |\Z)", guide, re.M | re.S)
    rows = [re.split(r"(?<!\\)\|", line)[1:3] for line in "".join(sections).splitlines() if line.startswith("|")]
    # Rows whose case is "shown by Windows" quote Windows' own words: they must not be nimbard's.
    by_windows = [len(r) == 2 and r[1].strip().startswith("shown by Windows") for r in rows]
    windows = [m for r, w in zip(rows, by_windows) if w for m in re.findall(r"`([^`]+)`", r[0])]
    cells = ["|".join(r) for r, w in zip(rows, by_windows) if not w]
    messages = list(dict.fromkeys(m for cell in cells for m in re.findall(r"`([^`]+)`", cell)))
    errors = [] if messages else ["the guide's Troubleshooting and Reference sections quote no message"]
    errors += [f"quoted as Windows' own but found in src/: `{m}`" for m in windows if m in fragments]
    for m in messages:
        missing = [p for p in pieces(m) if p not in fragments]
        alike = [t for t in calls if pieces(m) and next(p for p in t if p is not None) == pieces(m)[0]]
        if missing or not pieces(m):
            errors.append(f"not in the source: `{m}` (not found: {missing})")
        elif alike and not any(covers(m, t) for t in alike):
            errors.append(f"not in the source: `{m}` (built otherwise there)")
    uncovered = sorted((w, t) for t, w in calls.items() if not any(covers(m, t) for m in messages))
    print(f"guide: {len(messages)} texts quoted, {len(messages) - len(errors)} found in src/; {len(windows)} of Windows itself")
    print(f"source: {len(calls) - len(uncovered)} of {len(calls)} message templates in the guide")
    for where, t in uncovered:
        print(f"  not in the guide: {''.join('<value>' if p is None else p for p in t)!r} ({where})")
    for error in errors:
        print("FAIL " + error)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
