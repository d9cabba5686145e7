"""A reader of the job log (PatchWorker.log) as a CMTrace viewer reads it:
the file is UTF-8 with a byte-order mark at its start, every line ends with
CR LF and has every field of the format, in order, with nothing before or
after them. Any departure raises an AssertionError that names the line."""

import datetime
import re
from dataclasses import dataclass

LOG_FILE = "PatchWorker.log"
ROTATED_FILE = "PatchWorker.lo_"
MARK = b"\xef\xbb\xbf"
# The most characters a line's text keeps.
TEXT_CAPACITY = 1023

LINE = re.compile(
    r'<!\[LOG\[(?P<text>.*?)\]LOG\]!>'
    r'<time="(?P<hour>\d\d):(?P<minute>\d\d):(?P<second>\d\d)\.(?P<ms>\d\d\d)\+000" '
    r'date="(?P<month>\d\d)-(?P<day>\d\d)-(?P<year>\d\d\d\d)" '
    r'component="PatchWorker" context="" type="(?P<type>[123])" thread="(?P<thread>\d+)" file="">')

INFORMATION, WARNING, ERROR = 1, 2, 3


@dataclass(frozen=True)
class LogLine:
    subject: str      # "Job <jobID>" or "Reminder"
    text: str         # after "<subject>: "
    type: int
    thread: int
    time: datetime.datetime   # UTC


def parse_line(raw, number=0):
    """One line without its CR LF."""
    match = LINE.fullmatch(raw)
    if not match:
        raise AssertionError("line %d is not a CMTrace line: %r" % (number, raw))
    full = match["text"]
    if len(full.encode("utf-16-le")) // 2 > TEXT_CAPACITY:
        raise AssertionError("line %d's text is longer than %d units" % (number, TEXT_CAPACITY))
    if any(ord(c) < 0x20 or 0x7f <= ord(c) <= 0x9f or c in "\u2028\u2029" for c in full):
        raise AssertionError("line %d's text holds a control character: %r" % (number, full))
    subject, separator, text = full.partition(": ")
    if not separator or not (subject == "Reminder" or re.fullmatch(r"Job .*", subject)):
        raise AssertionError("line %d's text does not begin with its job: %r" % (number, full))
    time = datetime.datetime(int(match["year"]), int(match["month"]), int(match["day"]), int(match["hour"]),
                             int(match["minute"]), int(match["second"]), int(match["ms"]) * 1000,
                             tzinfo=datetime.timezone.utc)
    return LogLine(subject, text, int(match["type"]), int(match["thread"]), time)


def parse_log(data):
    """Every line of a log file's bytes."""
    if not data.startswith(MARK):
        raise AssertionError("the log does not begin with the byte-order mark: %r" % data[:40])
    body = data[len(MARK):]
    if MARK in body:
        raise AssertionError("a byte-order mark stands inside the log")
    if body and not body.endswith(b"\r\n"):
        raise AssertionError("the log's last line is not whole: %r" % body[-80:])
    text = body.decode("utf-8")   # raises on bytes that are not UTF-8
    raws = text.split("\r\n")[:-1] if text else []
    for number, raw in enumerate(raws, 1):
        if "\r" in raw or "\n" in raw:
            raise AssertionError("line %d has a bare line end: %r" % (number, raw))
    return [parse_line(raw, number) for number, raw in enumerate(raws, 1)]


def read_log(path):
    with open(path, "rb") as f:
        return parse_log(f.read())
