#!/usr/bin/env python3
"""Lists the functions of C++ sources that run over a number of lines.

A brace counter, not a parser: comments, strings, character literals and
preprocessor lines are blanked first; then a brace at namespace or class level
whose head reads like a function's (a closing parenthesis followed only by
qualifiers, an initializer list or a trailing return type) opens a function,
the lambdas inside it included. A function is counted from the first line of
its signature to its closing brace. The lines inside a data initializer within
a function (a table of words, of mappings) are not counted: such a function is
listed as a table but does not fail the check.

Usage: scripts/long-functions.py [--max N] PATH...
Exit status 1 when some function runs over N lines (default 100).
"""
import argparse
import bisect
import os
import re
import sys

CODE_WORDS = {"else", "do", "try", "mutable", "noexcept", "const", "override"}
QUALIFIERS = {"const", "noexcept", "override", "final", "mutable", "volatile", "&", "&&", "constexpr"}
SCOPE_WORDS = re.compile(r"\b(namespace|class|struct|union|enum)\b")


def digit_separator(text, i):
    """A quote inside a number (1'000'000, 0xFF'FF) separates digits."""
    k = i
    while k > 0 and (text[k - 1].isalnum() or text[k - 1] == "_"):
        k -= 1
    return k < i and text[k].isdigit() and i + 1 < len(text) and text[i + 1].isalnum()


INTERESTING = re.compile(r'//|/\*|"|\'|^[ \t]*#', re.M)
RAW_PREFIX = re.compile(r'(?<![\w])(u8|u|U|L)?R$')


def blanked(piece):
    return re.sub(r"[^\n]", " ", piece)


def literal_end(text, i):
    """The end of the string or character literal that opens at i."""
    quote, j, n = text[i], i + 1, len(text)
    while j < n and text[j] != quote:
        j += 2 if text[j] == "\\" else 1
    return min(j + 1, n)


def preprocessor_end(text, i):
    """The end of the preprocessor line at i, with its continuations."""
    while True:
        k = text.find("\n", i)
        if k < 0:
            return len(text)
        if text[k - 1] != "\\":
            return k
        i = k + 1


def blank(text):
    """Replaces comments, literals and preprocessor lines by spaces, keeping
    every newline, so that braces in them count for nothing."""
    out = []
    i, n = 0, len(text)
    while i < n:
        m = INTERESTING.search(text, i)
        if not m:
            out.append(text[i:])
            break
        out.append(text[i:m.start()])
        i, token = m.start(), m.group()
        if token == "//":
            j = text.find("\n", i)
            j = n if j < 0 else j
        elif token == "/*":
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
        elif token == '"' and RAW_PREFIX.search(text, max(0, i - 3), i):
            p = text.find("(", i)
            delim = ")" + text[i + 1:p] + '"'
            j = text.find(delim, p)
            j = n if j < 0 else j + len(delim)
        elif token in ('"', "'"):
            if token == "'" and digit_separator(text, i):
                out.append(token)
                i += 1
                continue
            j = literal_end(text, i)
            out.append(token + blanked(text[i + 1:j - 1]) + token)
            i = j
            continue
        else:
            j = preprocessor_end(text, i)
        out.append(blanked(text[i:j]))
        i = j
    return "".join(out)


def is_function_head(head):
    head = " ".join(head.split())
    if not head:
        return False
    if "=" in re.sub(r"operator\s*\S+\s*\(", "operator(", head).split("(")[0]:
        return False  # an initializer (a table or a namespace-scope lambda's variable)
    depth, last = 0, -1
    for k, ch in enumerate(head):
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
            if depth == 0:
                last = k
    if last < 0:
        return False
    if SCOPE_WORDS.search(head[:head.find("(")]) and not re.search(r"\boperator\b|\btemplate\b", head):
        return False
    tail = head[last + 1:].strip()
    if not tail or tail.startswith(":") or tail.startswith("->"):
        return True
    return all(w in QUALIFIERS or re.fullmatch(r"noexcept\(.*\)", w) for w in tail.split())


def opens_data(before):
    """Whether a brace inside a function, after `before`, opens a data
    initializer rather than a block or a lambda's body."""
    if before.endswith(("=", ",", "(")):
        return True
    word = re.search(r"(\w+)$", before)
    return (word is not None and word.group(1) not in CODE_WORDS
            and not re.search(r"->\s*[\w:<>, *&]+$", before))  # a lambda's return type


def functions(path):
    """(first line, last line, name, lines inside data initializers) of each
    function defined in the file."""
    text = blank(open(path, encoding="utf-8", errors="replace").read())
    newlines = [m.start() for m in re.finditer("\n", text)]

    def line_of(offset):
        return bisect.bisect_left(newlines, offset) + 1

    stack = []  # ("scope" | "init" | "function" | "block" | "data", offset[, head])
    in_function = 0
    head_start = 0
    found = []
    data_lines = 0  # lines of the current function inside data initializers
    for m in re.finditer(r"[{};]", text):
        i, c = m.start(), m.group()
        if c == ";":
            if not in_function:
                head_start = i + 1
        elif c == "{":
            if in_function:
                data = stack[-1][0] == "data" or opens_data(text[max(0, i - 200):i].rstrip())
                stack.append(("data" if data else "block", i))
                continue
            head = text[head_start:i]
            if is_function_head(head):
                # Counted from the signature's first line, as a reader sees it.
                lead = len(head) - len(head.lstrip())
                stack.append(("function", head_start + lead, head))
                in_function += 1
            elif SCOPE_WORDS.search(head) or "extern" in head or head.strip() == "":
                stack.append(("scope", i))
                head_start = i + 1
            else:
                stack.append(("init", i))
        elif stack:
            kind = stack.pop()
            if kind[0] == "data" and stack[-1][0] != "data":
                data_lines += line_of(i) - line_of(kind[1])
            if kind[0] == "function":
                in_function -= 1
                name = " ".join(kind[2].split())
                name = name[:name.find("(")].split()[-1] if "(" in name else name
                found.append((line_of(kind[1]), line_of(i), name, data_lines))
                data_lines = 0
                head_start = i + 1
            elif kind[0] == "scope":
                head_start = i + 1
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--max", type=int, default=100)
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args()
    files = []
    for p in args.paths:
        if os.path.isdir(p):
            for root, _, names in os.walk(p):
                files += [os.path.join(root, f) for f in names if f.endswith((".cpp", ".h", ".hpp", ".cc"))]
        else:
            files.append(p)
    long_ones = []
    tables = []  # long only through the data they initialise: reported, not counted
    for f in sorted(files):
        for start, end, name, data in functions(f):
            lines = end - start + 1
            if lines - data > args.max:
                long_ones.append((lines, f, start, name, ""))
            elif lines > args.max:
                tables.append((lines, f, start, name, f" (a data table: {data} lines of it)"))
    for lines, f, start, name, note in sorted(long_ones, reverse=True) + sorted(tables, reverse=True):
        print(f"{lines:5d} {f}:{start} {name}{note}")
    return 1 if long_ones else 0


if __name__ == "__main__":
    sys.exit(main())
