#!/usr/bin/env python3
"""Turns the error-code data file into C++: every distinct text once in one
constant array, and a perfect hash of the codes that leads each code to its
own slot, so that a lookup is a few arithmetic steps and one comparison:
no search through codes or texts, and no allocation.

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


# The lookup is a perfect hash with displacement: the 64-bit product of the
# code and a multiplier gives, from its top bits, a bucket, and from the bits
# below, a slot, which the bucket's displacement (XOR) moves to a slot of its
# own. Every code of the table gets a slot no other code has, so a lookup is
# one multiplication, two loads and one comparison of the slot's code.
BUCKET_BITS = 9
TEXT_OFFSET_BITS, TEXT_LENGTH_BITS = 22, 10


def multipliers():
    """Odd 64-bit multipliers to try, the same sequence on every build."""
    state = 0x9E3779B97F4A7C15
    while True:
        state = (state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        yield (z ^ (z >> 31)) | 1


def split(code, multiplier, slot_bits):
    product = (code * multiplier) & 0xFFFFFFFFFFFFFFFF
    bucket = product >> (64 - BUCKET_BITS)
    slot = (product >> (64 - BUCKET_BITS - slot_bits)) & ((1 << slot_bits) - 1)
    return bucket, slot


def place(codes, multiplier, slot_bits):
    """Displacement per bucket and slot per code, or None when two codes of
    one bucket fall on one slot or a bucket finds no free slots."""
    slots = 1 << slot_bits
    buckets = [[] for _ in range(1 << BUCKET_BITS)]
    for code in codes:
        bucket, slot = split(code, multiplier, slot_bits)
        buckets[bucket].append((code, slot))
    displacements = [0] * len(buckets)
    taken = {}
    # The fullest buckets first, while most slots are free.
    for bucket in sorted(range(len(buckets)), key=lambda b: -len(buckets[b])):
        members = buckets[bucket]
        if not members:
            continue
        if len({slot for _, slot in members}) != len(members):
            return None
        for displacement in range(slots):
            moved = [slot ^ displacement for _, slot in members]
            if not any(slot in taken for slot in moved):
                displacements[bucket] = displacement
                for (code, _), slot in zip(members, moved):
                    taken[slot] = code
                break
        else:
            return None
    return displacements, taken


def build_hash(codes):
    slot_bits = max(1, (len(codes) - 1).bit_length())
    for attempt, multiplier in enumerate(multipliers()):
        placed = place(codes, multiplier, slot_bits)
        if placed:
            return multiplier, slot_bits, placed
        if attempt == 10000:
            sys.exit("no perfect hash found for the table")


def render(rows):
    # Every distinct text once, one after another in one array, each with
    # its terminator: rows hold offsets, so the table needs no relocation.
    offsets = {}
    pieces = []
    size = 0
    for _, text in rows:
        if text not in offsets:
            offsets[text] = size
            size += len(text) + 1
            pieces.append(f'    TEXT("{literal(text)}\\0")')
    codes = [code for code, _ in rows]
    multiplier, slot_bits, (displacements, taken) = build_hash(codes)
    text_of = dict(rows)
    # A free slot holds a code of the table, which hashes to its own slot and
    # so never matches a lookup that lands here.
    unused = codes[0]
    slot_rows = []
    for slot in range(1 << slot_bits):
        code = taken.get(slot, unused)
        text = text_of[code] if slot in taken else ""
        slot_rows.append(f"    {{0x{code:08X}u, {offsets.get(text, 0)}u, {len(text)}u}},")
    # Check the layout as the C++ lookup reads it: each code finds its own
    # slot, and the code in a free slot is led to another one.
    def lookup(code):
        bucket, slot = split(code, multiplier, slot_bits)
        return slot ^ displacements[bucket]
    assert all(taken[lookup(code)] == code for code in codes)
    assert all(lookup(unused) != slot for slot in range(1 << slot_bits) if slot not in taken)
    assert size < 1 << TEXT_OFFSET_BITS and MAX_TEXT < 1 << TEXT_LENGTH_BITS
    per_line = 16
    displacement_lines = [
        "    " + " ".join(f"{d}," for d in displacements[i:i + per_line])
        for i in range(0, len(displacements), per_line)]
    return "\n".join([
        "// Generated from error_codes.tsv by generate_error_code_table.py; do not edit.",
        '#include "errors/error_code_table.h"',
        "",
        "#include <cstdint>",
        "",
        "namespace {",
        "",
        "const WCHAR kTexts[] =",
        *pieces,
        "    ;",
        "",
        "struct Slot {",
        "    DWORD code;",
        f"    std::uint32_t text : {TEXT_OFFSET_BITS};  // offset into kTexts",
        f"    std::uint32_t length : {TEXT_LENGTH_BITS};",
        "};",
        "",
        f"constexpr std::uint64_t kMultiplier = 0x{multiplier:016X}u;",
        f"constexpr unsigned kBucketShift = {64 - BUCKET_BITS};",
        f"constexpr unsigned kSlotShift = {64 - BUCKET_BITS - slot_bits};",
        f"constexpr std::uint64_t kSlotMask = {(1 << slot_bits) - 1};",
        "",
        f"const std::uint16_t kDisplacements[{len(displacements)}] = {{",
        *displacement_lines,
        "};",
        "",
        f"const Slot kSlots[{1 << slot_bits}] = {{",
        *slot_rows,
        "};",
        "",
        f"const DWORD kCodes[{len(rows)}] = {{",
        *[f"    0x{code:08X}u," for code in codes],
        "};",
        "",
        "}  // namespace",
        "",
        "const WCHAR* FindErrorCodeText(DWORD code, std::size_t& length) {",
        "    const std::uint64_t product = code * kMultiplier;",
        "    const Slot& slot = kSlots[((product >> kSlotShift) & kSlotMask) ^ kDisplacements[product >> kBucketShift]];",
        "    if (slot.code != code) return nullptr;",
        "    length = slot.length;",
        "    return kTexts + slot.text;",
        "}",
        "",
        "const WCHAR* FindErrorCodeText(DWORD code) {",
        "    std::size_t length;",
        "    return FindErrorCodeText(code, length);",
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
