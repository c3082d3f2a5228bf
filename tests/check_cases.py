# SPDX-License-Identifier: MIT
"""quorvil-check's rows of the end-to-end table. Each row's expected lines
come from the slip it makes, not from a second check: the place is where
the slip was made (or the first place of its block where the same bytes
come back, which is where the tool names it), the values the original's.

rows(e2e) gives the rows in end_to_end.py's form, made with its helpers:
(name, arguments, expected, tags, prepare, verify). Expected stdout may be
a function of the output, where a finding's place is a range that must
hold the slip; verify looks at the files afterwards and says what is wrong.
"""
import os
import random
import re
import stat

SIZE = 128


def rnd(seed, size):
    return random.Random(seed).randbytes(size)


TYPED_LONG = rnd(204800, 204800)  # 1600 blocks typed: more than the check's window holds at once
SILENT_AFTER = rnd(21, 1000) + bytes(600) + rnd(22, 1400)  # blocks 8-11 zeros, of any pairing of digits
ZEROS_BETWEEN = rnd(23, 1024) + bytes(16) + rnd(24, 1984)  # block 8 begins with 16 zero bytes
LISTING = rnd(5050, 5050)  # a listing typed in: 40 blocks, the last of 58 bytes
ZEROISH = rnd(3, 1000) + bytes(3000) + rnd(4, 2000)
SILENCE = rnd(7, 512) + bytes(4096) + rnd(8, 1024)  # blocks 4-35 zeros, as in a sound file
TONE = rnd(9, 512) + rnd(10, 32) * 256 + rnd(11, 1024)  # blocks 4-67 repeat every 32 bytes

# Calls in a row, as compiled code has them: each line of 16 the one before
# but for two bytes.
CALLS = rnd(25, 1024) + b"".join(bytes([0xFE, 0xFF, 0x48, 0x89, 0xEF, 0xE8, (0xF6 - 16 * k) & 0xFF, 0x75, 0xFE, 0xFF,
                                        0x48, 0x89, 0xDF, 0xE8, (0xFE - 16 * k) & 0xFF, 0x7B]) for k in range(12)) \
    + rnd(26, 1024)
# A line of 8 ending in three zeros, after three zeros: the report finds it
# left out three bytes before the line's start, where the addresses put it.
ZEROS_AROUND = bytearray(rnd(27, 2048))
ZEROS_AROUND[1045:1048] = bytes(3)
ZEROS_AROUND[1053:1056] = bytes(3)
ZEROS_AROUND = bytes(ZEROS_AROUND)
LONG = rnd(12, 200 * SIZE)
LARGE = rnd(13, 2400 * SIZE)  # four times FILE's window
TABLE = b"".join(rnd(50, SIZE) if k in range(11, 31, 2) else rnd(60 + k, SIZE) for k in range(40))


def decoy():
    """Ten random blocks, X, and a tone; the copy has 136 extra bytes in
    block 9 that begin with X, and a byte changed after them."""
    start, x, tone = rnd(30, 10 * SIZE), rnd(31, SIZE), rnd(32, 32) * 12
    copy = bytearray(start[:1192] + x + rnd(33, 8) + start[1192:] + x + tone)
    copy[1358] ^= 0x55
    return start + x + tone, bytes(copy)


DECOY = decoy()


def far():
    """Eleven random blocks, 62 of zeros and ten random; the copy has 4096
    extra zeros in block 10 and a byte changed after them."""
    start, zeros, end = rnd(70, 11 * SIZE), bytes(62 * SIZE), rnd(71, 10 * SIZE)
    copy = bytearray(start[:1320] + bytes(4096) + start[1320:] + zeros + end)
    copy[1320 + 4096 + 50] ^= 1
    return start + zeros + end, bytes(copy)


FAR = far()
UNIT = rnd(80, 10 * SIZE) * 20  # ten random blocks, twenty times: each stands every 1280 bytes


def noise(data, places):
    """8 random bytes put into `data` before each of its offsets."""
    for k, at in reversed(list(enumerate(places))):
        data = data[:at] + rnd(20 + k, 8) + data[at:]
    return data
VERSION = re.search(r"project\(quorvil VERSION (\S+)",
                    open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "CMakeLists.txt")).read()).group(1)
USAGE = b"usage: quorvil-check [--hex] [--repair output] report-file file\n"
WINDOWS = False  # the programs run under Wine: set by the harness


def place(p):
    return "block %d, row %d, column %d" % (p // SIZE, p % SIZE // 8, p % 8)


def byte_line(original, copy, at, shift=0):
    return "byte %d (%s) is %02X; the report says %02X" % (at, place(at - shift), copy[at], original[at - shift])


def run_line(kind, count, at, report_at, values=None):
    line = "%d %s %s at %d (%s)" % (count, kind, "byte" if count == 1 else "bytes", at, place(report_at))
    if values is not None:
        line += "; the report says " + " ".join("%02X" % v for v in values)
    return line


def verdict(name, failed, blocks):
    return "%s: OK" % name if failed == 0 else "%s: FAILED, %d of %d blocks differ" % (name, failed, blocks)


def so_far(name, size, blocks):
    """FILE stops before the report's last block and matches up to there."""
    rows = size // 8
    to = " to block %d, row %d" % ((rows - 1) // 16, (rows - 1) % 16) if rows > 0 else ""
    return "%s: matches so far, %d %s%s; the report has %d blocks" % (name, size, "byte" if size == 1 else "bytes",
                                                                       to, blocks)


def as_listing(data, per=8, address=True, digits=None):
    """`data` as a listing is typed: `per` bytes a line, with an address,
    and where each byte's first digit stands (line, column)."""
    lines, places = [], []
    for at in range(0, len(data), per):
        head = "%04X: " % at if address else ""
        row = data[at:at + per]
        for k in range(len(row)):
            places.append((len(lines) + 1, len(head) + 3 * k + 1))
        lines.append(head + " ".join("%02X" % b for b in row))
    text = "".join(line + "\n" for line in lines)
    return text if digits is None else text.translate(digits), places


def addressed(data, per, head, left_out=None, twice=None):
    """`data` typed `per` bytes a line, each after its address written as
    `head` writes it, with the line of address `left_out` not typed and
    that of `twice` typed twice."""
    lines = []
    for at in range(0, len(data), per):
        line = head % at + " ".join("%02X" % b for b in data[at:at + per])
        if at != left_out:
            lines.append(line)
        if at == twice:
            lines.append(line)
    return "".join(line + "\n" for line in lines)


def retyped(text, places, at, typed_as):
    """The listing with byte `at`'s two digits typed as `typed_as`."""
    line, column = places[at]
    start = sum(len(row) + 1 for row in text.split("\n")[:line - 1]) + column - 1
    return text[:start] + typed_as + text[start + 2:]


def slipped(text, places, data, slips, shift=0):
    """The listing with each slip (byte, digit: 0 high, 1 low, kind) made:
    the digit left out ("missing") or typed twice ("extra"), and the
    findings that name them: what was typed for each byte, one character or
    three. The digit before each must differ, so that no earlier place gives
    the same digits."""
    digits = data.hex().upper()
    line_starts = [0]
    for row in text.split("\n"):
        line_starts.append(line_starts[-1] + len(row) + 1)
    pieces, findings, taken = [], [], 0
    for at, digit, kind in sorted(slips):
        q = 2 * at + digit
        assert q == 0 or digits[q - 1] != digits[q]
        line, column = places[at]
        start = line_starts[line - 1] + column - 1 + digit
        pieces.append(text[taken:start])
        if kind == "missing":
            taken = start + 1
            typed_as = digits[q + 1] if digit == 0 else digits[q - 1]
        else:
            pieces.append(digits[q])
            taken = start
            typed_as = digits[q] + digits[q:q + 2] if digit == 0 else digits[q - 1] + digits[q] * 2
        findings.append((at, q, kind, typed_as))
    out = "".join(pieces) + text[taken:]
    typed = digit_places(out)
    lines, before = [], 0
    for at, q, kind, typed_as in findings:
        lines.append(slip_line(typed, data, places, at, q, kind, typed_as, before, shift))
        before += 1 if kind == "extra" else -1
    return out, lines


def digit_places(text):
    """Each hex digit of a listing as typed, after its line's address:
    (line, column, digit)."""
    found = []
    for number, row in enumerate(text.split("\n"), 1):
        start = row.index(": ") + 2 if ": " in row[:12] else 0
        found += [(number, column + 1, c.upper()) for column, c in enumerate(row)
                  if column >= start and c in "0123456789ABCDEFabcdef"]
    return found


def slip_line(typed, data, places, at, q, kind, typed_as, before, shift=0):
    """The finding of a digit slip at true digit q, the slips before it
    making `before` digits more: the byte typed wrong, or where the slip
    could be anywhere in a run of one digit that reaches past the byte's
    own characters, every place it could be. The check's digit k is the
    typed digit k + before, as it has paired those slips anew."""
    value = data.hex().upper()[q]
    digit = lambda k: typed[k + before][2] if 0 <= k + before < len(typed) else None
    first, last = q, q
    while first > 0 and digit(first - 1) == value:
        first -= 1
    if kind == "missing":
        while digit(last) == value:
            last += 1
    else:
        while digit(last + 1) == value:
            last += 1
    if first >= 2 * at and last <= 2 * at + (2 if kind == "extra" else 1):
        return typed_line(data, places, at, typed_as, shift)
    blocks = [((k >> 1) - shift) // SIZE for k in (first, last)]
    return "line %d, column %d to line %d, column %d (%s) is %s; the report says %02X" % (
        typed[first + before][:2] + typed[last + before][:2]
        + ("block %d" % blocks[0] if blocks[0] == blocks[1] else "blocks %d-%d" % tuple(blocks), typed_as,
           data[at]))


def in_listing(line, places):
    """A finding of the byte check with its offsets as the listing's places."""
    def where(m):
        return "line %d, column %d" % places[int(m.group(1))]
    return re.sub(r"(?<=at )(\d+)(?= \()", where, line)


def typed_line(data, places, at, typed_as, shift=0):
    """`data`'s byte `at`, `shift` bytes from where the report has it."""
    return "line %d, column %d (%s) is %s; the report says %02X" % (places[at] + (place(at + shift), typed_as,
                                                                                data[at]))


def failed_so_far(name, failed, reached, blocks):
    """FILE stops before the report's last block, and something differs."""
    return "%s: FAILED, %d of %d blocks differ so far; the report has %d blocks" % (name, failed, reached, blocks)


def blocks_of(data):
    return (len(data) + SIZE - 1) // SIZE


def extra_line(original, copy, count, at, shift=0):
    """A run of extra bytes made at FILE's `at`, named at the first place of
    its block where taking them out gives the original's block back."""
    block = (at - shift) // SIZE
    start = SIZE * block + shift
    for t in range(start, start + SIZE):
        if copy[start:t] + copy[t + count:start + SIZE + count] == original[SIZE * block:SIZE * block + SIZE]:
            return run_line("extra", count, t, t - shift)
    raise AssertionError("no place for the extra bytes")


def missing_line(original, copy, count, at, shift=0):
    """A run of missing bytes that belonged before FILE's `at`, likewise,
    with the original's values."""
    block = (at - shift) // SIZE
    start = SIZE * block + shift
    for t in range(start, start + SIZE):
        values = original[t - shift:t - shift + count]
        if (copy[:t] + values + copy[t:])[start:start + 2 * SIZE] == original[SIZE * block:SIZE * block + 2 * SIZE]:
            return run_line("missing", count, t, t - shift, values)
    raise AssertionError("no place for the missing bytes")


def holds(kind, count, truth, block):
    """Expected stdout: the first line names a range of places, in `block`,
    that holds the slip's own."""
    pattern = re.compile(r"%d %s bytes? at (\d+)-(\d+) \(block %d\)" % (count, kind, block))

    def check(out):
        found = pattern.fullmatch(out.split(b"\n")[0].decode())
        return found is not None and int(found.group(1)) <= truth <= int(found.group(2))
    return check


def rows(e2e):
    write, report, sums = e2e.write, e2e.report, e2e.sums
    base = e2e.BASE

    def differs_line(original, copy, block, first, last):
        now = sums(copy[first:last + 1].ljust(SIZE, b"\0"))
        was = sums(original[SIZE * block:SIZE * block + SIZE].ljust(SIZE, b"\0"))
        parts = []
        changed_rows = [str(r) for r in range(16) if now[0][r] != was[0][r]]
        changed_columns = [str(c) for c in range(8) if now[1][c] != was[1][c]]
        if changed_rows:
            parts.append("rows " + " ".join(changed_rows))
        if changed_columns:
            parts.append("columns " + " ".join(changed_columns))
        if now[2] != was[2]:
            parts.append("CRC")
        return "block %d (bytes %d-%d) differs: %s" % (block, first, last, ", ".join(parts))

    def case(name, original, copy, lines, tags="", output=None, verify=None, flags=()):
        """`copy` (bytes, or a function that makes them when the case runs)
        as a file named after the case, checked against the report of
        `original`. `lines(name, original, copy)` gives the expected lines,
        FILE's last; or a function of the output, status 1."""
        file_name = re.sub(r"\W+", "-", name).strip("-")

        def made(value):
            return value() if callable(value) else value

        def prepare():
            write(file_name, made(copy))
            write(file_name + ".txt", report(made(original)))

        def expect():
            found = lines(file_name, made(original), made(copy))
            if callable(found):
                return found, 1, b""
            status = 0 if found[-1].endswith(": OK") else 1
            return "".join(line + "\n" for line in found).encode(), status, b""
        arguments = list(flags) + (["--repair", output] if output else []) + [file_name + ".txt", file_name]
        return ("check: " + name, arguments, expect, "check" + (", " + tags if tags else ""), prepare, verify)

    def found(*findings, failed=1):
        """The findings, each a line or a function of (original, copy), then
        FILE's line with `failed` of the report's blocks."""
        def lines(name, original, copy):
            told = [f(original, copy) if callable(f) else f for f in findings]
            return told + [verdict(name, failed, blocks_of(original))]
        return lines

    def byte(*places, shift=0):
        return [lambda o, c, at=at: byte_line(o, c, at, shift) for at in places]

    def extra(count, at, shift=0):
        return lambda o, c: extra_line(o, c, count, at, shift)

    def missing(count, at, shift=0):
        return lambda o, c: missing_line(o, c, count, at, shift)

    def garbage(blocks):
        out = bytearray(LISTING)
        for k in blocks:
            out[SIZE * k:SIZE * k + SIZE] = rnd(100 + k, SIZE)
        return bytes(out)

    def unexplained(blocks, together):
        def lines(name, original, copy):
            if together:
                told = ["blocks %d-%d (bytes %d-%d) all differ" % (blocks[0], blocks[-1], SIZE * blocks[0],
                                                                 SIZE * blocks[-1] + SIZE - 1)]
            else:
                told = [differs_line(original, copy, k, SIZE * k, SIZE * k + SIZE - 1) for k in blocks]
            return told + [verdict(name, len(blocks), blocks_of(original))]
        return lines

    def listing_against(name, text, expected, status):
        """LISTING checked against its report as `text` makes it."""
        report_name = re.sub(r"\W+", "-", name).strip("-") + ".txt"
        return ("check: " + name, [report_name, "listing"], (expected, status, b""), "check",
                lambda: (write(report_name, text(report(LISTING))), write("listing", LISTING)))

    def typed(name, text):
        return listing_against(name, lambda r: text(r.decode()).encode(), b"listing: OK\n", 0)

    def mistyped(name, block, line, at, told):
        """LISTING's report with the two digits at `at` of line `line` (1 to 5)
        of a block's five mistyped: a slip of the report, not of FILE."""
        lines = report(LISTING).split(b"\n")
        i = 5 * block + line - 1
        was = lines[i][at:at + 2]
        now = b"7F" if was != b"7F" else b"80"
        lines[i] = lines[i][:at] + now + lines[i][at + 2:]
        text = told.format(now=now.decode(), was=was.decode())
        return listing_against(name, lambda _: b"\n".join(lines),
                               (text + "\nlisting: FAILED, 1 of 40 blocks differ\n").encode(), 1)

    def misread(name, slips, copy=LISTING, told=None):
        """LISTING's report with characters that are no digits where digits
        stand (block, line 2 or 4 of its five, column from 0, character):
        each value misread is told with what `copy` gives, where it gives
        the others; `told` overrides the findings."""
        lines = report(LISTING).decode().split("\n")
        found_lines = []
        for block, line, at, char in slips:
            i = 5 * block + line - 1
            start = at - at % 3 if at < 24 or line == 2 else 24
            width = 4 if line == 4 and at >= 24 else 2
            value = lines[i][start:start + width]
            typed = lines[i][:at] + char + lines[i][at + 1:]
            lines[i] = typed
            label = ("row %d" % (start // 3) if line == 2 else "column %d" % (start // 3)) if width == 2 else "CRC"
            found_lines.append("block %d (bytes %d-%d): the report's %s reads %s; the file gives %s" % (
                block, SIZE * block, SIZE * block + SIZE - 1, label, typed[start:start + width], value))
        expected = (told or found_lines) + [verdict("listing", 1 if told is None else len(told), 40)]
        return ("check: " + name, [re.sub(r"\W+", "-", name).strip("-") + ".txt", "listing"],
                ("".join(line + "\n" for line in expected).encode(), 1, b""), "check",
                lambda: (write(re.sub(r"\W+", "-", name).strip("-") + ".txt", "\n".join(lines).encode()),
                         write("listing", copy)))

    def leftovers():
        return [n for n in os.listdir(".") if n.startswith(".quorvil-check-")]

    def repaired(output, expected):
        def verify():
            with open(output, "rb") as f:
                got = f.read()
            if got != expected:
                return "%s is not the repair it should be" % output
            return "temporary files left: %s" % leftovers() if leftovers() else None
        return verify

    def kept(path, contents, link=None):
        def verify():
            if link is not None and os.readlink(path) != link:
                return "%s is no longer the link it was" % path
            with open(path, "rb") as f:
                if f.read() != contents:
                    return "%s changed" % path
            return "temporary files left: %s" % leftovers() if leftovers() else None
        return verify

    def listing_files():
        write("listing.txt", report(LISTING))
        write("listing", LISTING)

    def replaced_keeping_mode():
        mode = stat.S_IMODE(os.stat("out-mode").st_mode)
        if mode != 0o640 and not WINDOWS:  # Windows keeps no such bits, only read-only
            return "the replaced output has mode %o, not 640" % mode
        return repaired("out-mode", LISTING)()

    def report_slip(name, edit, copy, lines, hex_=False, original=LISTING):
        """`copy` checked and repaired against `original`'s report with its
        blocks edited (a list of five-line records in, one out), where a
        block left out of the report or typed twice is a reading of the
        run: the repair keeps `copy` as it is, and says why."""
        stem = re.sub(r"\W+", "-", name).strip("-")
        records = report(original).decode().split("\n\n")
        file_bytes = as_listing(copy)[0].encode() if hex_ else copy

        def prepare():
            write(stem + ".txt", "\n\n".join(edit(records)).encode())
            write(stem, file_bytes)
        blocks = len(edit(records)) - 1  # the last record is the empty rest after the last block
        told = lines(copy) if not hex_ else in_listing(lines(copy), as_listing(copy)[1])
        expected = "\n".join([told, verdict(stem, 1, blocks), verdict("out-" + stem, 1, blocks)
                              + "; kept as the file has it where the report may have a block left out or typed"
                              " twice"]) + "\n"
        return ("check: " + name, (["--hex"] if hex_ else []) + ["--repair", "out-" + stem, stem + ".txt", stem],
                (expected.encode(), 1, b""), "check", prepare, repaired("out-" + stem, copy))

    def existing_output(row):
        prepare = row[4]

        def prepare_both():
            prepare()
            write("out-mode", b"old contents")
            os.chmod("out-mode", 0o640)
        return row[:4] + (prepare_both, replaced_keeping_mode)

    # Several slips, each undone by the repair: a changed byte, a skipped
    # one, a stray one.
    several = (LISTING[:300] + bytes([LISTING[300] ^ 0x21]) + LISTING[301:1000] + LISTING[1001:2000] + b"\x90"
               + LISTING[2000:])
    lost_block = LISTING[:1280] + LISTING[1408:]
    long_lost = LISTING[:1350] + LISTING[1650:]

    def unknown_as_zeros():
        with open("out-zeros", "rb") as f:
            got = f.read()
        if len(got) != len(LISTING) or got[:1280] != LISTING[:1280] or got[1792:] != LISTING[1792:]:
            return "out-zeros does not keep every other block in its place"
        return None

    text, places = as_listing(LISTING)
    lost_line = LISTING[:1600] + LISTING[1608:]
    doubled_line = LISTING[:1608] + LISTING[1600:]
    zero_digit = next(at for at in range(1500, 2000) if "%02X" % LISTING[at] < "10")
    one_digit = next(at for at in range(2500, 3000) if ("%02X" % LISTING[at])[0] == "1")

    specks = [(1280, 0), (1283, 1), (1290, 0), (1300, 1), (1301, 0), (1350, 1)]  # block 10: byte, digit

    def specked():
        out = text
        for at, digit in specks:
            was = "%02X" % LISTING[at]
            out = retyped(out, places, at, was[:digit] + "." + was[digit + 1:])
        return out

    digit_slips = [(300, 1, "missing"), (700, 0, "extra"), (1500, 0, "missing"), (2300, 1, "extra"),
                   (4000, 0, "missing")]

    lost_text, lost_places = as_listing(lost_line)
    lost_then_slipped = slipped(lost_text, lost_places, lost_line, [(1700, 1, "extra")], 8)

    wrong_and_left_out = slipped(retyped(text, places, 1030, "%02X" % (LISTING[1030] ^ 1)), places, LISTING,
                                 [(1092, 1, "missing")])

    # Lines of 16 without an address are read as runs of several lines;
    # after a digit typed twice and one left out they are read as runs
    # again, then re-paired from the first slip on: a byte typed wrong long
    # after is still told where it stands.
    text16, places16 = as_listing(LISTING, 16, False)
    wrong_after_extra = slipped(retyped(text16, places16, 3000, "%02X" % (LISTING[3000] ^ 0x10)), places16,
                                LISTING, [(1000, 1, "extra"), (1500, 1, "missing")])

    before_zeros = slipped(*as_listing(SILENT_AFTER), SILENT_AFTER, [(950, 1, "missing")])
    neighbours = slipped(text, places, LISTING, [(1100, 0, "missing"), (1200, 1, "extra")])

    def zeros_between(slip):
        """A digit typed twice (or left out) in block 7, and a 0 typed twice
        (or left out) among the zeros that begin block 8: block 8 then
        stands a byte on (or back)."""
        out = slipped(*as_listing(ZEROS_BETWEEN), ZEROS_BETWEEN, [(950, 0, slip)])[0]
        line, column = as_listing(ZEROS_BETWEEN)[1][1030]
        lines = out.split("\n")
        row = lines[line - 1]
        lines[line - 1] = row[:column - 1] + ("0" if slip == "extra" else "") + row[column - 1 + (slip != "extra"):]
        return "\n".join(lines)

    lost_after = LISTING[:1200] + LISTING[1208:]
    left_out_then_lost = slipped(*as_listing(lost_after), lost_after, [(1040, 1, "missing")])

    def tangled():
        """Block 8 with a byte lost, a byte typed wrong and a digit left out."""
        lost = LISTING[:1040] + LISTING[1041:]
        out, out_places = as_listing(lost)
        out = retyped(out, out_places, 1030, "%02X" % (LISTING[1030] ^ 0x11))
        return slipped(out, out_places, lost, [(1101, 1, "missing")])[0]

    def kept_blocks(output, differing):
        """OUTPUT has every block of LISTING but those `differing`."""
        def verify():
            with open(output, "rb") as f:
                got = f.read()
            wrong = [k for k in range(40) if k not in differing and got[SIZE * k:SIZE * k + SIZE]
                     != LISTING[SIZE * k:SIZE * k + SIZE]]
            return "%s differs in blocks %s" % (output, wrong) if wrong or len(got) != len(LISTING) else None
        return verify

    def every_other_block():
        """A digit left out or typed twice in every other block of
        TYPED_LONG, after its first 7 digits."""
        hex_digits = TYPED_LONG.hex().upper()
        slips = []
        for block in range(1, 1600, 2):
            q = next(q for q in range(256 * block + 7, 256 * block + 256) if hex_digits[q - 1] != hex_digits[q])
            slips.append((q // 2, q % 2, "missing" if block % 4 == 1 else "extra"))
        return slipped(*as_listing(TYPED_LONG), TYPED_LONG, slips)

    def listing(name, copy, lines, **more):
        return case("--hex: " + name, LISTING, lambda: copy.encode() if isinstance(copy, str) else copy, lines,
                    flags=("--hex",), **more)

    def run_in_listing(copy, finding, *repair):
        return lambda n, o, c: [in_listing(finding(o, copy), as_listing(copy)[1]), verdict(n, 1, 40), *repair]

    return [
        # What the check found before, found as before.
        case("matching file", base, base, found(failed=0)),
        case("flipped bit", base, e2e.changed(base, (300, 0x08)), found(*byte(300))),
        case("changed byte", base, e2e.changed(base, (400, 0xFF)), found(*byte(400))),
        case("flipped bit in the short block", base, e2e.changed(base, (950, 0x01)), found(*byte(950))),
        case("changed byte in the short block", base, e2e.changed(base, (999, 0x5A)), found(*byte(999))),
        case("two changed bytes", base, e2e.changed(base, (260, 0x10), (270, 0x03)), found(*byte(260, 270))),
        case("changes that cancel in every sum", base, e2e.added(base, (384, 1), (385, -1), (393, 1), (392, -1)),
             found("block 3 (bytes 384-511) differs: CRC")),
        case("cut inside a block", base, base[:990], lambda n, o, c: [so_far(n, 990, 8)]),
        case("cut at a block boundary", base, base[:896], lambda n, o, c: [so_far(n, 896, 8)]),
        case("longer file", base, base + e2e.sample(300),
             lambda n, o, c: [run_line("extra", 300, 1000, 1000), "the file has 11 blocks; the report has 8",
                              verdict(n, 4, 11)]),
        case("a long tail after the end", LISTING, LISTING + rnd(9, 100000),
             lambda n, o, c: [run_line("extra", 100000, 5050, 5050), "the file has 821 blocks; the report has 40",
                              verdict(n, 782, 821)]),
        case("empty report, empty file", b"", b"", found(failed=0)),
        case("empty report", b"", base,
             lambda n, o, c: [run_line("extra", 1000, 0, 0), "the file has 8 blocks; the report has 0",
                              verdict(n, 8, 8)]),
        case("inserted byte", e2e.megabyte, lambda: e2e.megabyte()[:10] + b"\0" + e2e.megabyte()[10:],
             found(extra(1, 10))),
        ("check: CR LF report", ["base-crlf.txt", "base"], (b"base: OK\n", 0, b""), "check",
         lambda: write("base-crlf.txt", report(base).replace(b"\n", b"\r\n"))),
        ("check: report cut mid-line", ["cut.txt", "base"], (b"", 2, b"cut.txt: line 12, column 18 is not part of a report\n"),
         "check"),
        ("check: a message, not a report", ["message.txt", "base"],
         (b"", 2, b"message.txt: line 1, column 1 is not part of a report\n"), "check",
         lambda: write("message.txt", e2e.missing("base"))),
        # Hints where the names or --hex are plainly wrong, and only there.
        ("check: a listing and its report swapped", ["--hex", "typed.hex", "typed.txt"],
         (b"", 2, b"typed.hex: line 1, column 1 is not part of a report\n"
          b"typed.hex looks like a listing and typed.txt like a report: the report comes first"
          b" (quorvil-check [--hex] REPORT FILE)\n"), "check",
         lambda: (write("typed.hex", as_listing(LISTING)[0].encode()), write("typed.txt", report(LISTING)))),
        ("check: a listing given as the report", ["typed.hex", "listing"],
         (b"", 2, b"typed.hex: line 1, column 1 is not part of a report\n"
          b"typed.hex looks like a listing: the report comes first (quorvil-check [--hex] REPORT FILE)\n"),
         "check", lambda: (write("typed.hex", as_listing(LISTING, 16, False)[0].encode()), write("listing", LISTING))),
        ("check: a listing checked without --hex", ["typed.txt", "typed.hex"],
         (lambda out: re.search(rb"typed.hex: FAILED, (\d+) of \1 blocks differ\n$", out) is not None, 1,
          b"typed.hex is hex text: add --hex to read it as a listing\n"), "check",
         lambda: (write("typed.hex", as_listing(LISTING)[0].encode()), write("typed.txt", report(LISTING)))),
        case("hex text checked as bytes, a byte changed, no hint", as_listing(LISTING)[0].encode(),
             e2e.changed(as_listing(LISTING)[0].encode(), (100, 0x01)), found(*byte(100))),
        ("check: missing report", ["missing", "base"], (b"", 2, e2e.missing("missing")), "check"),
        ("check: missing file", ["base.txt", "missing"], (b"", 2, e2e.missing("missing")), "check"),
        ("check: no arguments", [], (b"", 2, USAGE), "check"),
        ("check: one argument", ["base.txt"], (b"", 2, USAGE), "check"),
        ("check: full output", ["base.txt", "base"], (None, 2, b"cannot write output\n"), "check, full"),
        ("check: constant memory", ["base.txt", "base", "zeros.txt", "big"], (None, 0, None), "check, memory",
         lambda: write("zeros.txt", report(bytes(SIZE)) * e2e.ZERO_BLOCKS)),

        # The slips of a listing typed in, and runs of extra and missing bytes.
        case("byte typed twice", LISTING, LISTING[:1001] + LISTING[1000:], found(extra(1, 1000))),
        case("byte skipped", LISTING, LISTING[:1000] + LISTING[1001:], found(missing(1, 1000))),
        case("row typed twice", LISTING, LISTING[:1000] + LISTING[992:1000] + LISTING[1000:], found(extra(8, 1000))),
        case("row skipped", LISTING, LISTING[:1000] + LISTING[1008:], found(missing(8, 1000))),
        case("swapped neighbours", LISTING, LISTING[:1500] + LISTING[1501:1502] + LISTING[1500:1501] + LISTING[1502:],
             found(*byte(1500, 1501))),
        case("two changes in a row", LISTING, e2e.changed(LISTING, (1930, 0x40), (1935, 0x01)),
             found(*byte(1930, 1935))),
        case("two changes in a column", LISTING, e2e.changed(LISTING, (2000, 0x40), (2016, 0x01)),
             found(*byte(2000, 2016))),
        case("stray byte after the end", LISTING, LISTING + b"\x90", found(run_line("extra", 1, 5050, 5050))),
        case("extra byte at the start", LISTING, b"A" + LISTING, found(extra(1, 0))),
        case("missing byte at the start", LISTING, LISTING[1:], found(missing(1, 0))),
        case("missing bytes across a boundary", LISTING, LISTING[:1276] + LISTING[1284:],
             found(missing(8, 1276), failed=2)),
        case("extra bytes across a boundary", LISTING, LISTING[:1276] + rnd(8, 8) + LISTING[1276:],
             found(extra(8, 1276))),
        case("missing bytes across into the last block", LISTING, LISTING[:4990] + LISTING[4998:],
             found(missing(8, 4990), failed=2)),
        # FILE's last block has a byte only once the run is put back.
        case("missing bytes before a short last block", LISTING[:4995], LISTING[:4900] + LISTING[4902:4995],
             found(missing(2, 4900))),
        case("extra byte in the last block", LISTING, LISTING[:5000] + b"U" + LISTING[5000:], found(extra(1, 5000))),
        case("missing byte in the last block", LISTING, LISTING[:5000] + LISTING[5001:], found(missing(1, 5000))),
        case("two runs in one file", LISTING, LISTING[:500] + b"xy" + LISTING[500:3000] + LISTING[3003:],
             found(extra(2, 500), missing(3, 3002, 2), failed=2)),
        case("lost block", LISTING, lost_block, found(run_line("missing", 128, 1280, 1280))),
        case("doubled block", LISTING, LISTING[:1408] + LISTING[1280:1408] + LISTING[1408:], found(extra(128, 1408))),
        # A whole block more or fewer at a block's start may be the
        # report's slip: both readings are told, and FILE's bytes kept.
        report_slip("a block left out of the report", lambda r: r[:10] + r[11:], LISTING,
                    lambda c: run_line("extra", 128, 1280, 1280)
                    + ", or a block left out of the report before block 10"),
        report_slip("--hex: a block left out of the report", lambda r: r[:10] + r[11:], LISTING,
                    lambda c: run_line("extra", 128, 1280, 1280)
                    + ", or a block left out of the report before block 10", hex_=True),
        report_slip("a block typed twice in the report", lambda r: r[:11] + r[10:], LISTING,
                    lambda c: run_line("missing", 128, 1408, 1408)
                    + ", or a block typed twice in the report at block 11"),
        report_slip("a stray block at a block's start", lambda r: r, LISTING[:1280] + rnd(41, SIZE) + LISTING[1280:],
                    lambda c: run_line("extra", 128, 1280, 1280)
                    + ", or a block left out of the report before block 10"),
        # A block of zeros lost among zeros is as much the report's zero
        # block typed twice: the copy is kept, a block short, and FAILED.
        report_slip("a block lost among zeros", lambda r: r, SILENCE[:1280] + SILENCE[1408:],
                    lambda c: run_line("missing", 128, 4480, 4480)
                    + ", or a block typed twice in the report at block 35", original=SILENCE),
        case("32 blocks lost", LISTING, LISTING[:128] + LISTING[128 + 4096:],
             found(run_line("missing", 4096, 128, 128), failed=32)),
        case("longer run lost", LISTING, long_lost, lambda n, o, c: holds("missing", 300, 1350, 10)),
        case("a run and a change", LISTING,
             LISTING[:1350] + b"Z" + LISTING[1350:1360] + bytes([LISTING[1360] ^ 1]) + LISTING[1361:],
             lambda n, o, c: holds("extra", 1, 1350, 10)),
        case("extra zero inside zeros", ZEROISH, ZEROISH[:1500] + b"\0" + ZEROISH[1500:], found(extra(1, 3968))),
        case("lost byte in zero-rich data", ZEROISH, ZEROISH[:900] + ZEROISH[901:], found(missing(1, 900))),
        case("lost zero inside zeros", ZEROISH, ZEROISH[:2500] + ZEROISH[2501:], found(missing(1, 3968))),
        # The blocks ahead alone tell the run: the zeros' last block is as
        # much two bytes changed.
        case("two zeros lost inside zeros", SILENCE, SILENCE[:2000] + SILENCE[2002:],
             found(lambda o, c: run_line("missing", 2, 4480, 4480, b"\0\0"))),
        # Zeros hide a lost byte until they end, and the blocks after see it
        # added to one lost further on: each is told where the report
        # shows it, not both at the end of the zeros.
        case("a lost zero, then a lost byte after the zeros", SILENCE, SILENCE[:1500] + SILENCE[1501:4650] + SILENCE[4651:],
             found(lambda o, c: run_line("missing", 1, 4480, 4480, b"\0"),
                   lambda o, c: run_line("missing", 1, 4649, 4650, o[4650:4651]), failed=2)),
        # In silence a byte put in reads as a byte changed, until the zeros
        # end: the first block that stands at one alignment and not the
        # other tells which it was.
        case("a byte extra in silence", SILENCE, SILENCE[:1000] + b"\x5b" + SILENCE[1000:], found(extra(1, 1000))),
        case("a byte changed in silence", SILENCE, SILENCE[:1000] + b"\x5b" + SILENCE[1001:], found(*byte(1000))),
        # A block between that stands at neither has a slip of its own, and
        # the zeros' end sees both added up: it tells nothing of the first.
        case("a byte changed in silence, one put in further on", SILENCE,
             SILENCE[:1000] + b"\x05" + SILENCE[1001:2000] + b"\x5b" + SILENCE[2000:],
             found(*byte(1000), extra(1, 2000), failed=2)),
        # Noise in silence: past each run the zeros match at any shift, and
        # only a long run reaches a stretch without noise.
        # In a tone one run of extra bytes in every period explains a block;
        # the next block, slipped too, matches only after one far off.
        case("a byte extra in neighbouring blocks of a tone", TONE,
             TONE[:552] + b"\x01" + TONE[552:680] + b"\x02" + TONE[680:1192] + b"\x03" + TONE[1192:],
             found(extra(1, 552), extra(1, 681, 1), extra(1, 1194, 2), failed=3)),
        case("noise in silence", SILENCE, noise(SILENCE, (1030, 1300, 1560, 1820)),
             found(extra(8, 1030), extra(8, 1308, 8), extra(8, 1576, 16), extra(8, 1844, 24), failed=4)),
        # A changed byte explains the first block as well as the lost byte
        # does; the block after, a row of a table, is too common to tell the
        # alignment, but it matches after the lost byte, and the blocks after
        # it stand where they were.
        case("a byte lost at a block's end, one doubled at the next's", TABLE,
             TABLE[:1407] + TABLE[1408:1536] + TABLE[1535:],
             found(missing(1, 1407), extra(1, 1535, -1), failed=2)),
        # The blocks from 128 on are held in the ring's first slots.
        case("bytes lost across the 128th block", LONG, LONG[:16380] + LONG[16388:],
             found(missing(8, 16380), failed=2)),
        # The block after the run stands inside it too; the tone after it,
        # too repeated to decide, still rules that place out.
        case("a run that holds a copy of the block after", DECOY[0], DECOY[1],
             lambda n, o, c: holds("extra", 136, 1192, 9)),
        # FILE's window is refilled several times before the slip.
        case("a byte lost far into a large file", LARGE, LARGE[:250000] + LARGE[250001:], found(missing(1, 250000))),
        # The window has been refilled: past FILE's end it holds bytes read
        # before, which a block must read as zeros.
        case("a changed byte in the short last block of a large file", LARGE[:-50],
             e2e.changed(LARGE[:-50], (len(LARGE) - 60, 0x10)), found(*byte(len(LARGE) - 60))),
        case("a file of whole blocks", LONG, LONG, found(failed=0)),
        # FILE goes on for more than the window holds after the report's end,
        # behind a lost byte: read to its end before it is told.
        case("a lost byte, and a long tail after the report's data", LISTING[:4000],
             LISTING[:100] + LISTING[101:4000] + rnd(42, 200000),
             lambda n, o, c: [missing_line(o, c, 1, 100), run_line("extra", 200000, 3999, 4000),
                              "the file has 1594 blocks; the report has 32", verdict(n, 1564, 1594), "out-tail2: OK"],
             output="out-tail2", verify=repaired("out-tail2", LISTING[:4000])),
        case("a block more than the report", LONG, LONG + rnd(40, SIZE),
             lambda n, o, c: [run_line("extra", 128, 25600, 25600), "the file has 201 blocks; the report has 200",
                              verdict(n, 1, 201)]),
        case("an extra byte, and bytes after the data", LISTING, LISTING[:1000] + b"X" + LISTING[1000:] + b"tail",
             found(extra(1, 1000), run_line("extra", 4, 5051, 5050), failed=2)),
        # The last block differs, so zeros at its end are no filling to
        # start the bytes after the data from.
        case("a changed byte in the last block, and bytes after it", LONG[:-8] + bytes(8),
             e2e.changed(LONG[:-8] + bytes(8), (25500, 1)) + b"tail-bytes",
             lambda n, o, c: [byte_line(o, c, 25500), run_line("extra", 10, 25600, 25600),
                              "the file has 201 blocks; the report has 200", verdict(n, 2, 201)]),
        case("a changed byte, then the file ends", LISTING, e2e.changed(LISTING[:3000], (1000, 0x3C)),
             lambda n, o, c: [byte_line(o, c, 1000), failed_so_far(n, 1, 24, 40)]),
        # A listing typed over several evenings: where it stops before the
        # report's last block, the blocks not yet typed are no findings,
        # and the block it stops in is checked on its complete rows.
        case("stops inside a row", LISTING, LISTING[:2666],
             lambda n, o, c: [so_far(n, 2666, 40), so_far("out-part", 2666, 40)], output="out-part",
             verify=repaired("out-part", LISTING[:2666])),
        case("stops in the first row", LISTING, LISTING[:1], lambda n, o, c: [so_far(n, 1, 40)]),
        case("stops before it starts", LISTING, b"", lambda n, o, c: [so_far(n, 0, 40)]),
        case("stops where the last block begins", LISTING, LISTING[:4992], lambda n, o, c: [so_far(n, 4992, 40)]),
        # The last block too, where the report has bytes past FILE's rows.
        case("stops inside the last block", LISTING, LISTING[:5040],
             lambda n, o, c: [so_far(n, 5040, 40), so_far("out-last", 5040, 40)], output="out-last",
             verify=repaired("out-last", LISTING[:5040])),
        case("a complete row wrong in the last block where it stops", LISTING, e2e.changed(LISTING[:5040], (4995, 0x11)),
             lambda n, o, c: [differs_line(o, c, 39, 4992, 5039), verdict(n, 1, 40)]),
        case("a complete row wrong where it stops", LISTING, e2e.changed(LISTING[:2666], (2600, 0x11)),
             lambda n, o, c: ["block 20 (bytes 2560-2665) differs: rows 5", failed_so_far(n, 1, 21, 40),
                              failed_so_far("out-row", 1, 21, 40)], output="out-row",
             verify=repaired("out-row", e2e.changed(LISTING[:2666], (2600, 0x11)))),
        case("a byte lost before it stops", LISTING, LISTING[:1000] + LISTING[1001:2666],
             lambda n, o, c: [missing_line(o, c, 1, 1000), failed_so_far(n, 1, 21, 40), so_far("out-lost", 2666, 40)],
             output="out-lost", verify=repaired("out-lost", LISTING[:2666])),
        # 4096 zeros put in before zeros: those blocks stand anywhere, and
        # only the farthest block the check looks at tells the shift, the
        # longest. The block has a change besides the run.
        case("the longest run, told by the farthest block", FAR[0], FAR[1],
             lambda n, o, c: holds("extra", 4096, 1320, 10)),
        # The same after a run: the blocks ahead are looked up from the
        # alignment that run left.
        case("the longest run, after another", FAR[0], FAR[1][:300] + rnd(72, 8) + FAR[1][300:],
             lambda n, o, c: lambda out: (out.split(b"\n")[0].decode() == extra_line(o, c, 8, 300) and
                                          holds("extra", 4096, 1328, 10)(b"\n".join(out.split(b"\n")[1:])))),
        # Every block after stands at the current alignment and at three
        # shifts ahead alike; no run among them explains three changed bytes.
        case("three bytes changed in data that repeats", UNIT,
             e2e.changed(UNIT, (4485, 0x21), (4530, 0x21), (4580, 0x21)),
             found("block 35 (bytes 4480-4607) differs: rows 0 6 12, columns 2 4 5, CRC")),
        # The report's data ends one byte into its last block: zeros after
        # it in FILE may be the filling, so the extra bytes start there.
        case("zeros and more after a short last block", base[:897], base[:897] + bytes(127) + b"\x05",
             lambda n, o, c: [run_line("extra", 128, 897, 897), "the file has 9 blocks; the report has 8",
                              verdict(n, 2, 9)]),
        case("report cut at a block boundary", base[:896], base,
             lambda n, o, c: [run_line("extra", 104, 896, 896), "the file has 8 blocks; the report has 7",
                              verdict(n, 1, 8)]),

        # What nothing explains: one line for eight or more blocks in a row.
        case("7 blocks of garbage", LISTING, garbage(range(10, 17)), unexplained(list(range(10, 17)), False)),
        case("8 blocks of garbage", LISTING, garbage(range(10, 18)), unexplained(list(range(10, 18)), True)),
        case("garbage between matching blocks", LISTING, garbage(range(2, 20, 2)),
             unexplained(list(range(2, 20, 2)), False)),

        # Reports typed in by hand, and slips of the report itself.
        typed("lowercase report", lambda t: t.lower()),
        typed("report without trailing spaces", lambda t: t.replace(" \n", "\n")),
        typed("report without empty lines", lambda t: t.replace("\n\n", "\n")),
        typed("report with mixed line ends",
              lambda t: "".join(line + ("\r\n" if i % 3 == 0 else "\n") for i, line in enumerate(t.split("\n")))),
        # Saved by an editor: Notepad's UTF-8 mark, its "Unicode" in either byte order.
        listing_against("report saved with a UTF-8 byte-order mark", lambda r: b"\xef\xbb\xbf" + r,
                        b"listing: OK\n", 0),
        listing_against("report saved as UTF-16 LE, CR LF",
                        lambda r: b"\xff\xfe" + r.decode().replace("\n", "\r\n").encode("utf-16-le"),
                        b"listing: OK\n", 0),
        listing_against("report saved as UTF-16 BE",
                        lambda r: b"\xfe\xff" + r.decode().encode("utf-16-be"), b"listing: OK\n", 0),
        typed("report spaced out", lambda t: "\n" + t.replace(" ", " \t ").replace("tate\n", "  Tate \n")),
        # A report's own digits that could not be read: the block is
        # checked on its other values, and each misread one told.
        misread("report with an O read for a digit of a row", [(12, 2, 3, "O")]),
        misread("report with specks in a column and the CRC", [(20, 4, 10, "."), (20, 4, 25, "\u00b7")]),
        misread("report with a misread digit where the file differs too", [(12, 2, 3, "O")],
                e2e.changed(LISTING, (1536 + 40, 0x01)),
                told=["block 12 (bytes 1536-1663) differs: rows 5, columns 0, CRC"]),
        mistyped("mistyped row value", 12, 2, 3,
                 "block 12 (bytes 1536-1663): the report's row 1 is {now}, the file's is {was}; nothing else differs"),
        mistyped("mistyped column value", 20, 4, 15,
                 "block 20 (bytes 2560-2687): the report's column 5 is {now}, the file's is {was}; nothing else differs"),
        mistyped("mistyped CRC", 30, 4, 24, "block 30 (bytes 3840-3967) differs: CRC"),

        # The repair.
        case("repair whole", LISTING, several,
             lambda n, o, c: [byte_line(o, c, 300), missing_line(o, c, 1, 1000), extra_line(o, c, 1, 1999, -1),
                              verdict(n, 3, 40), "out-whole: OK"], output="out-whole",
             verify=repaired("out-whole", LISTING)),
        case("repair cut after the data", LISTING, LISTING + b"junk",
             lambda n, o, c: [run_line("extra", 4, 5050, 5050), verdict(n, 1, 40), "out-tail: OK"],
             output="out-tail", verify=repaired("out-tail", LISTING)),
        case("repair across a boundary", LISTING, LISTING[:1276] + LISTING[1284:],
             lambda n, o, c: [missing_line(o, c, 8, 1276), verdict(n, 2, 40), "out-across: OK"],
             output="out-across", verify=repaired("out-across", LISTING)),
        case("repair in part", LISTING, lost_block,
             lambda n, o, c: [run_line("missing", 128, 1280, 1280), verdict(n, 1, 40),
                              "out-part: FAILED, 1 of 40 blocks differ; 128 bytes put in as zeros, the report does"
                              " not give them"], output="out-part",
             verify=repaired("out-part", LISTING[:1280] + bytes(SIZE) + LISTING[1408:])),
        case("repair with unknown values", LISTING, long_lost,
             lambda n, o, c: lambda out: holds("missing", 300, 1350, 10)(out)
             and out.endswith(b"out-zeros: FAILED, 3 of 40 blocks differ; 300 bytes put in as zeros, the report does"
                              b" not give them\n"), output="out-zeros",
             verify=unknown_as_zeros),
        ("check: repair given as --repair=", ["--repair=out-eq", "listing.txt", "listing"],
         (b"listing: OK\nout-eq: OK\n", 0, b""), "check", listing_files, repaired("out-eq", LISTING)),
        existing_output(case("existing output replaced", LISTING, LISTING[:5000] + LISTING[5001:],
                             lambda n, o, c: [missing_line(o, c, 1, 5000), verdict(n, 1, 40), "out-mode: OK"],
                             output="out-mode")),
        ("check: repair named beyond ASCII", ["--repair", "修復 ｓ１.bin", "listing.txt", "listing"],
         ("listing: OK\n修復 ｓ１.bin: OK\n".encode(), 0, b""), "check", listing_files, repaired("修復 ｓ１.bin", LISTING)),
        ("check: repair over the file", ["--repair", "listing", "listing.txt", "listing"],
         (b"", 2, b"cannot write the repair over listing\n"), "check", listing_files, kept("listing", LISTING)),
        ("check: repair over the report by another name", ["--repair", "alias", "listing.txt", "listing"],
         (b"", 2, b"cannot write the repair over alias\n"), "check, links",
         lambda: (listing_files(), os.path.lexists("alias") or os.link("listing.txt", "alias")),
         kept("listing.txt", report(LISTING))),
        ("check: repair into a directory", ["--repair", "adir", "listing.txt", "listing"],
         (b"", 2, b"cannot write adir\n"), "check", listing_files,
         lambda: "temporary files left: %s" % leftovers() if leftovers() else None),
        ("check: repair through a link", ["--repair", "link", "listing.txt", "listing"],
         (b"", 2, b"cannot write link\n"), "check, links",
         lambda: (listing_files(), write("target", b"target"), os.path.lexists("link") or os.symlink("target", "link")),
         kept("link", b"target", "target")),
        ("check: repair into a directory it may not write", ["--repair", "closed/out", "listing.txt", "listing"],
         (b"", 2, b"cannot write closed/out\n"), "check, unprivileged",
         lambda: (listing_files(), os.makedirs("closed", exist_ok=True), os.chmod("closed", 0o555)),
         lambda: "files written there: %s" % os.listdir("closed") if os.listdir("closed") else None),
        ("check: nothing left after trouble", ["--repair", "kept", "message.txt", "listing"],
         (b"", 2, b"message.txt: line 1, column 1 is not part of a report\n"), "check",
         lambda: (write("message.txt", e2e.missing("listing")), write("listing", LISTING), write("kept", b"kept")),
         kept("kept", b"kept")),

        # A typed or scanned listing, read as hex text: findings name its
        # lines and columns, and what was typed for a byte as it stands.
        listing("a listing that matches", text, found(failed=0)),
        listing("sixteen bytes a line, no address", as_listing(LISTING, 16, False)[0], found(failed=0)),
        listing("fullwidth digits, CR LF, a mark, a comment, commas",
                "\ufeff# typed from page 3\r\n" + text.replace("\n", ",\r\n").translate(
                    {ord(d): 0xFF10 + int(d) for d in "0123456789"}).replace("A", "\uff21").replace("b", "\uff42"),
                found(failed=0)),
        listing("saved as UTF-16, a wrong digit named by line and column in characters",
                ("\ufeff# \u00e9t\u00e9 \U0001f600\r\n" + retyped(text, places, 1000, "%02X" % (LISTING[1000] ^ 0x10))
                 ).encode("utf-16-le"),
                lambda n, o, c: [typed_line(o, [(line + 1, column) for line, column in places], 1000,
                                            "%02X" % (LISTING[1000] ^ 0x10)), verdict(n, 1, 40)]),
        # Addresses however printed are recognised from the lines together,
        # and where they show a line left out or typed twice, the run is
        # named at that line.
        *[listing("addresses written %s" % how, addressed(LISTING, per, head), found(failed=0))
          for how, head, per in [("bare", "%04X ", 8), ("after a dollar", "$%04X ", 16), ("lower case", "&%04x ", 8),
                                 ("with a dash", "%04X- ", 8), ("after a prompt", ">%04X ", 8),
                                 ("eight digits wide", "%08X  ", 16)]],
        listing("a line of 16 left out, its place told by the addresses", addressed(LISTING, 16, "%04X ", 0x420),
                lambda n, o, c: ["16 missing bytes at line 67, column 1 (block 8, row 4, column 0), the line for"
                                 " address 0420", verdict(n, 1, 40), "out-16: FAILED, 1 of 40 blocks differ; 16 bytes"
                                 " put in as zeros, the report does not give them"],
                output="out-16", verify=repaired("out-16", LISTING[:0x420] + bytes(16) + LISTING[0x430:])),
        listing("a line of 16 typed twice", addressed(LISTING, 16, "$%04X ", twice=0x420),
                lambda n, o, c: ["16 extra bytes at line 68, column 1 (block 8, row 6, column 0), the line for"
                                 " address 0420 typed twice", verdict(n, 1, 40), "out-16x2: OK"],
                output="out-16x2", verify=repaired("out-16x2", LISTING)),
        *[listing("a line of 8 left out at %04X, given back" % at, addressed(LISTING, 8, "%04X ", at),
                  lambda n, o, c, at=at: ["8 missing bytes at line %d, column 1 (%s), the line for address %04X; the"
                                          " report says %s" % (at // 8 + 1, place(at), at,
                                                               " ".join("%02X" % b for b in LISTING[at:at + 8])),
                                          verdict(n, 1, 40), "out-8-%d: OK" % at],
                  output="out-8-%d" % at, verify=repaired("out-8-%d" % at, LISTING))
          for at in (0x210, 0x7F8)],
        listing("a digit left out, then a line of 16 left out: the addresses follow the digits",
                (lambda t: t[:t.index("\n0100 ") + 6] + t[t.index("\n0100 ") + 7:])(
                    addressed(LISTING, 16, "%04X ", 0x420)),
                lambda n, o, c: ["line 17, column 6 (block 2, row 0, column 0) is %X; the report says %02X"
                                 % (LISTING[0x100] & 0xF, LISTING[0x100]),
                                 "16 missing bytes at line 67, column 1 (block 8, row 4, column 0), the line for"
                                 " address 0420", verdict(n, 2, 40)]),
        case("--hex: addresses past FFFF, which grow a digit, and a line left out there", LARGE[:80000],
             lambda: addressed(LARGE[:80000], 8, "%04X ", 70000).encode(),
             lambda n, o, c: ["8 missing bytes at line 8751, column 1 (block 546, row 14, column 0), the line for address"
                              " 11170; the report says " + " ".join("%02X" % b for b in LARGE[70000:70008]),
                              verdict(n, 1, 625), "out-wide: OK"],
             flags=("--hex",), output="out-wide", verify=repaired("out-wide", LARGE[:80000])),
        case("--hex: a line of calls left out, which changed bytes would make the line before", CALLS,
             lambda: addressed(CALLS, 16, "$%04X ", 1024 + 16 * 7).encode(),
             lambda n, o, c: ["16 missing bytes at line 72, column 1 (block 8, row 14, column 0), the line for address"
                              " 0470", verdict(n, 1, 18)], flags=("--hex",)),
        case("--hex: a line of 8 left out after bytes it ends with, placed at its line", ZEROS_AROUND,
             lambda: addressed(ZEROS_AROUND, 8, "%04X: ", 1048).encode(),
             lambda n, o, c: ["8 missing bytes at line 132, column 1 (block 8, row 3, column 0), the line for address"
                              " 0418; the report says " + " ".join("%02X" % b for b in ZEROS_AROUND[1048:1056]),
                              verdict(n, 1, 16), "out-around: OK"],
             flags=("--hex",), output="out-around", verify=repaired("out-around", ZEROS_AROUND)),
        listing("half typed, the first address misread: where typing goes on",
                "O000" + "".join(line + "\n" for line in text.split("\n")[:250])[4:],
                lambda n, o, c: [so_far(n, 2000, 40).replace("2000 bytes", "2000 bytes (to address 07D0),")]),
        listing("an address typed wrong: the bytes decide",
                addressed(LISTING, 8, "%04X ").replace("\n0218 ", "\n0281 "), found(failed=0)),
        listing("a wrong digit", retyped(text, places, 1000, "%02X" % (LISTING[1000] ^ 0x10)),
                lambda n, o, c: [typed_line(o, places, 1000, "%02X" % (LISTING[1000] ^ 0x10)), verdict(n, 1, 40)]),
        listing("two digits swapped", retyped(text, places, 1001, ("%02X" % LISTING[1001])[::-1]),
                lambda n, o, c: [typed_line(o, places, 1001, ("%02X" % LISTING[1001])[::-1]), verdict(n, 1, 40)]),
        listing("an O read for a 0, which the sums give",
                retyped(text, places, zero_digit, ("%02X" % LISTING[zero_digit]).replace("0", "O", 1)),
                lambda n, o, c: [typed_line(o, places, zero_digit, ("%02X" % LISTING[zero_digit]).replace("0", "O", 1)),
                                 verdict(n, 1, 40)]),
        listing("an l read for a 1", retyped(text, places, one_digit, "l" + ("%02X" % LISTING[one_digit])[1]),
                lambda n, o, c: [typed_line(o, places, one_digit, "l" + ("%02X" % LISTING[one_digit])[1]),
                                 verdict(n, 1, 40), "out-ocr: OK"],
                output="out-ocr", verify=repaired("out-ocr", LISTING)),
        listing("six digits unreadable in a block", specked(),
                lambda n, o, c: [typed_line(o, places, at, ("%02X" % LISTING[at])[:digit] + "."
                                            + ("%02X" % LISTING[at])[digit + 1:]) for at, digit in specks]
                + [verdict(n, 1, 40), "out-specks: OK"], output="out-specks", verify=repaired("out-specks", LISTING)),
        listing("a line lost", as_listing(lost_line)[0],
                run_in_listing(lost_line, lambda o, c: missing_line(o, c, 8, 1600), "out-line: OK"),
                output="out-line", verify=repaired("out-line", LISTING)),
        listing("a line typed twice", as_listing(doubled_line)[0],
                run_in_listing(doubled_line, lambda o, c: extra_line(o, c, 8, 1608))),
        listing("a line of other digits", as_listing(LISTING[:1600] + bytes(8) + LISTING[1608:])[0],
                lambda n, o, c: [differs_line(o, LISTING[:1600] + bytes(8) + LISTING[1608:], 12, 1536, 1663).replace(
                    "bytes 1536-1663", "lines 193-208"), verdict(n, 1, 40)]),
        # A digit left out or typed twice: the digits after it pair anew.
        *[listing("a digit %s, byte %d digit %d" % (kind, at, digit), slip[0],
                  lambda n, o, c, slip=slip: slip[1] + [verdict(n, 1, 40)])
          for kind, at, digit in [("left out", 1000, 0), ("typed twice", 1003, 1), ("left out", 1007, 1),
                                  ("typed twice", 1024, 0), ("left out", 5049, 1), ("typed twice", 5040, 0)]
          for slip in [slipped(text, places, LISTING, [(at, digit, "missing" if kind == "left out" else "extra")])]],
        listing("digits left out and typed twice, repaired", slipped(text, places, LISTING, digit_slips)[0],
                lambda n, o, c: slipped(text, places, LISTING, digit_slips)[1]
                + [verdict(n, len(digit_slips), 40), "out-digits: OK"],
                output="out-digits", verify=repaired("out-digits", LISTING)),
        case("--hex: a digit left out or typed twice in every other block, past what the window holds",
             TYPED_LONG, lambda: every_other_block()[0].encode(),
             lambda n, o, c: every_other_block()[1] + [verdict(n, 800, 1600), "out-long: OK"],
             flags=("--hex",), output="out-long", verify=repaired("out-long", TYPED_LONG)),
        # Slips of bytes and of digits in neighbouring blocks: the blocks
        # after stand in the other pairing of the digits, a line on.
        listing("a line lost, and a digit typed twice in the block after it", lost_then_slipped[0],
                lambda n, o, c: [in_listing(missing_line(o, lost_line, 8, 1600), as_listing(lost_line)[1]),
                                 lost_then_slipped[1][0], verdict(n, 2, 40), "out-both: OK"],
                output="out-both", verify=repaired("out-both", LISTING)),
        listing("a digit left out, and a line lost in the block after it", left_out_then_lost[0],
                lambda n, o, c: [left_out_then_lost[1][0],
                                 in_listing(missing_line(o, lost_after, 8, 1200), as_listing(lost_after)[1]),
                                 verdict(n, 2, 40), "out-then-lost: OK"],
                output="out-then-lost", verify=repaired("out-then-lost", LISTING)),
        listing("a digit left out, a byte typed wrong and a byte lost in one block", tangled(),
                lambda n, o, c: lambda out: re.fullmatch(r"block 8 \(lines 129-145\) differs: [^\n]*\n%s\n"
                                                         "out-tangled: FAILED, 1 of 40 blocks differ; 2 bytes put in"
                                                         " as zeros, the report does not give them\n"
                                                         % verdict(n, 1, 40), out.decode()) is not None,
                output="out-tangled", verify=kept_blocks("out-tangled", [8])),
        case("--hex: a digit left out before blocks of zeros, which any pairing gives", SILENT_AFTER,
             lambda: before_zeros[0].encode(), lambda n, o, c: before_zeros[1] + [verdict(n, 1, 24)],
             flags=("--hex",)),
        *[case("--hex: digits %s in neighbouring blocks, zeros between them" % kind, ZEROS_BETWEEN,
               lambda slip=slip: zeros_between(slip).encode(),
               lambda n, o, c, slip=slip, typed_as=typed_as, to=to: [
                   slipped(*as_listing(ZEROS_BETWEEN), ZEROS_BETWEEN, [(950, 0, slip)])[1][0],
                   # The zeros' slip could be at any of their places.
                   "line 129, column 7 to %s (block 8) is %s; the report says 00" % (to, typed_as),
                   verdict(n, 2, 24), "out-%s: OK" % slip],
               flags=("--hex",), output="out-" + slip, verify=repaired("out-" + slip, ZEROS_BETWEEN))
          for kind, slip, typed_as, to in [("typed twice", "extra", "000", "line 130, column 29"),
                                           ("left out", "missing", "0", "line 131, column 7")]],
        # A digit left out deep in 4096 zeros: it could be anywhere in them,
        # and the repair gives the same bytes wherever it puts it.
        case("--hex: a digit left out in the middle of the silence, told over every place", SILENCE,
             lambda: (lambda t: t[:t.index("0900: ") + 9] + t[t.index("0900: ") + 10:])(as_listing(SILENCE)[0]).encode(),
             lambda n, o, c: ["line 65, column 7 to line 577, column 7 (blocks 4-35) is 0; the report says 00",
                              verdict(n, 1, 44), "out-silence: OK"],
             flags=("--hex",), output="out-silence", verify=repaired("out-silence", SILENCE)),
        listing("a digit left out and one typed twice in the block after", neighbours[0],
                lambda n, o, c: neighbours[1] + [verdict(n, 2, 40), "out-neighbours: OK"],
                output="out-neighbours", verify=repaired("out-neighbours", LISTING)),
        listing("digits typed twice and left out, 16 a line, a byte typed wrong after", wrong_after_extra[0],
                lambda n, o, c: wrong_after_extra[1]
                + [typed_line(LISTING, places16, 3000, "%02X" % (LISTING[3000] ^ 0x10)),
                   verdict(n, 3, 40), "out-after-extra: OK"],
                output="out-after-extra", verify=repaired("out-after-extra", LISTING)),
        listing("a digit left out and a byte typed wrong in one block", wrong_and_left_out[0],
                lambda n, o, c: [typed_line(LISTING, places, 1030, "%02X" % (LISTING[1030] ^ 1)),
                                 wrong_and_left_out[1][0], verdict(n, 1, 40), "out-two: OK"],
                output="out-two", verify=repaired("out-two", LISTING)),
        listing("the last line cut short: the place after its last digit",
                as_listing(LISTING[:-8])[0],
                lambda n, o, c: [missing_line(o, LISTING[:-8], 8, 5042).replace("at 5042 ", "at line 631, column 12 "),
                                 verdict(n, 1, 40)]),
        listing("half typed", "".join(line + "\n" for line in text.split("\n")[:250]),
                lambda n, o, c: [so_far(n, 2000, 40).replace("2000 bytes", "2000 bytes (to address 07D0),")]),
        listing("half typed, one byte typed wrong", retyped(*as_listing(LISTING[:1536]), 700, "%02X" % (LISTING[700] ^ 1)),
                lambda n, o, c: [typed_line(o, as_listing(LISTING[:1536])[1], 700, "%02X" % (LISTING[700] ^ 1)),
                                 failed_so_far(n, 1, 12, 40)]),
        listing("an empty listing", "", lambda n, o, c: [so_far(n, 0, 40)]),
        listing("comments only", "# the listing of page 1\n#0000: 4D 5A\n", lambda n, o, c: [so_far(n, 0, 40)]),
        ("check: --hex from standard input", ["--hex", "listing.txt", "-"], (b"-: OK\n", 0, b""),
         "check, stdin:listing.hex", lambda: (listing_files(), write("listing.hex", text.encode()))),

        # The command line.
        ("check: report from standard input", ["-", "listing"], (b"listing: OK\n", 0, b""),
         "check, stdin:listing.txt", listing_files),
        ("check: file from standard input", ["listing.txt", "-"], (b"-: OK\n", 0, b""), "check, stdin:listing",
         listing_files),
        ("check: both from standard input", ["-", "-"], (b"", 2, USAGE), "check"),
        ("check: help", ["--help"], (lambda out: out.startswith(USAGE) and out.count(b"\n") > 3, 0, b""), "check"),
        ("check: version", ["--version"], (("quorvil-check %s\n" % VERSION).encode(), 0, b""), "check"),
        ("check: names after --", ["--", "-dash.txt", "-dash"], (b"-dash: OK\n", 0, b""), "check",
         lambda: write("-dash.txt", report(e2e.sample(150)))),
        ("check: unknown option", ["--bogus", "listing.txt", "listing"], (b"", 2, USAGE), "check"),
        ("check: options after the names", ["listing.txt", "listing", "--repair", "x"], (b"", 2, USAGE), "check"),
        ("check: --repair without a name", ["--repair"], (b"", 2, USAGE), "check"),
        ("check: --repair with an empty name", ["--repair", "", "listing.txt", "listing"], (b"", 2, USAGE), "check",
         listing_files),
        ("check: constant memory whatever the damage",
         ["--repair", "out-small", "small.txt", "small", "--repair", "out-large", "zeros.txt", "noise"],
         (None, 0, None), "check, memory",
         lambda: (write("small.txt", report(rnd(1, 1024))), write("small", rnd(2, 1024)),
                  write("zeros.txt", report(bytes(SIZE)) * e2e.ZERO_BLOCKS),
                  write("noise", rnd(3, SIZE * e2e.ZERO_BLOCKS)))),
    ]
