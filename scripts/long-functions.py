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


def blank(text):
    """Replaces comments and literals by spaces, keeping every newline."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == 'R' and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == '_')) or (
                c in "uUL8" and re.match(r'(u8|u|U|L)R"', text[i:i + 4]) and (i == 0 or not text[i - 1].isalnum())):
            q = text.index('"', i)
            p = text.index("(", q)
            delim = ")" + text[q + 1:p] + '"'
            j = text.find(delim, p)
            j = n if j < 0 else j + len(delim)
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == '"' or (c == "'" and not digit_separator(text, i)):
            # A quote between two digits is a digit separator, not a literal.
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + re.sub(r"[^\n]", " ", text[i + 1:j - 1]) + c)
            i = j
        elif c == "#" and (i == 0 or text[text.rfind("\n", 0, i) + 1:i].strip() == ""):
            # A preprocessor line (with its continuations) holds no body.
            j = i
            while True:
                k = text.find("\n", j)
                if k < 0:
                    k = n
                    break
                if text[k - 1] != "\\":
                    break
                j = k + 1
            out.append(re.sub(r"[^\n]", " ", text[i:k]))
            i = k
        else:
            out.append(c)
            i += 1
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


def functions(path):
    text = blank(open(path, encoding="utf-8", errors="replace").read())
    stack = []  # kinds: "scope", "init", "function"
    head_start = 0
    found = []
    data_lines = 0  # lines of the current function inside data initializers
    i = 0
    for i, c in enumerate(text):
        inside_function = any(k[0] == "function" for k in stack)
        if c == ";" and not inside_function:
            head_start = i + 1
        elif c == "{":
            if inside_function:
                before = text[:i].rstrip()
                word = re.search(r"(\w+)$", before)
                opens_data = before.endswith(("=", ",", "(")) or (
                    word is not None and word.group(1) not in CODE_WORDS and before[-1] != ")"
                    and not re.search(r"->\s*[\w:<>, *&]+$", before))  # a lambda's return type
                stack.append(("data" if opens_data or stack[-1][0] == "data" else "block", i))
                continue
            head = text[head_start:i]
            if is_function_head(head):
                # Counted from the signature's first line, as a reader sees it.
                lead = len(head) - len(head.lstrip())
                stack.append(("function", head_start + lead, head))
            elif SCOPE_WORDS.search(head) or 'extern' in head or head.strip() == "":
                stack.append(("scope", i))
                head_start = i + 1
            else:
                stack.append(("init", i))
        elif c == "}":
            if not stack:
                continue
            kind = stack.pop()
            if kind[0] == "data" and stack[-1][0] != "data":
                data_lines += text.count("\n", kind[1], i)
            if kind[0] == "function":
                start = text.count("\n", 0, kind[1]) + 1
                end = text.count("\n", 0, i) + 1
                name = " ".join(kind[2].split())
                name = name[:name.find("(")].split()[-1] if "(" in name else name
                found.append((start, end, name, data_lines))
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
