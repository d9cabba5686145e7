#!/usr/bin/env python3
"""Turns the error-code data file into C++: one switch with a case per code
and one constant per distinct text, so that a lookup compares a few numbers,
searches no text and allocates nothing.

Data file: one row per line, "0x" and eight hexadecimal digits, one TAB, and
the text up to the end of the line, taken literally (blanks, backslashes and
percent signs included). Lines that start with '#' and empty lines are
skipped. Usage: generate_error_code_table.py <data file> <output .cpp>
"""

import sys

MIN_TEXT, MAX_TEXT = 2, 709


def fail(path, line_no, message):
    sys.exit(f"{path}:{line_no}: {message}")


def read_rows(path):
    rows = []
    seen = {}
    with open(path, encoding="utf-8", newline="") as data:
        for line_no, line in enumerate(data, 1):
            if line.endswith("\n"):
                line = line[:-1]
            if not line or line.startswith("#"):
                continue
            code_text, tab, text = line.partition("\t")
            if not tab:
                fail(path, line_no, "no TAB between code and text")
            if len(code_text) != 10 or not code_text.startswith("0x"):
                fail(path, line_no, f"code {code_text!r} is not 0x and eight hex digits")
            try:
                code = int(code_text[2:], 16)
            except ValueError:
                fail(path, line_no, f"code {code_text!r} is not hexadecimal")
            if code in seen:
                fail(path, line_no, f"code {code_text} already in line {seen[code]}")
            seen[code] = line_no
            if any(ord(c) < 0x20 or ord(c) > 0x7E for c in text):
                fail(path, line_no, "text holds a control or non-ASCII character")
            units = len(text.encode("utf-16-le")) // 2
            if not MIN_TEXT <= units <= MAX_TEXT:
                fail(path, line_no, f"text has {units} characters, not {MIN_TEXT} to {MAX_TEXT}")
            rows.append((code, text))
    return sorted(rows)


def literal(text):
    return text.replace("\\", "\\\\").replace('"', '\\"').replace("?", "\\?")


def render(rows):
    names = {}
    constants = []
    for _, text in rows:
        if text not in names:
            names[text] = f"kText{len(names)}"
            constants.append(f'const WCHAR {names[text]}[] = TEXT("{literal(text)}");')
    cases = [f"    case 0x{code:08X}u: return {names[text]};" for code, text in rows]
    codes = [f"    0x{code:08X}u," for code, _ in rows]
    return "\n".join([
        "// Generated from error_codes.tsv by generate_error_code_table.py; do not edit.",
        '#include "errors/error_code_table.h"',
        "",
        "namespace {",
        "",
        *constants,
        "",
        f"const DWORD kCodes[{len(rows)}] = {{",
        *codes,
        "};",
        "",
        "}  // namespace",
        "",
        "const WCHAR* FindErrorCodeText(DWORD code) {",
        "    switch (code) {",
        *cases,
        "    default: return nullptr;",
        "    }",
        "}",
        "",
        "std::size_t ErrorCodeTableSize() {",
        f"    return {len(rows)};",
        "}",
        "",
        "DWORD ErrorCodeTableCode(std::size_t index) {",
        f"    return index < {len(rows)} ? kCodes[index] : 0;",
        "}",
        "",
    ])


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: generate_error_code_table.py <data file> <output .cpp>")
    output = render(read_rows(sys.argv[1]))
    with open(sys.argv[2], "w", encoding="utf-8", newline="\n") as out:
        out.write(output)


if __name__ == "__main__":
    main()
