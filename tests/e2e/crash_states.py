"""The disk states that a power loss may leave, enumerated from a journal of
a run's file operations (what the Linux substitute appends to the file that
WORKER_FILE_OPS_JOURNAL names) interleaved with the status server's answers
(StatusServer's journal), in the order they happened.

The disk is modelled as weakly as a file system is allowed to behave:
- a file's data (writes and truncations) since its last flush survives in
  order up to some point, and the first write after that point may survive
  torn (its first half) instead of not at all;
- the entries a folder gained or lost (mkdir, create, rename, delete) since
  that folder's last flush survive as a prefix, in order: a later one never
  without the earlier ones;
- what was flushed survives, and so does the tree as it was before the run.
A folder whose own entry did not survive takes everything in it along.

Only the tree under the drive root is modelled: operations elsewhere (the
simulated agent's journal, for one) are passed over."""

import itertools
import os
from dataclasses import dataclass
from urllib.parse import unquote, unquote_to_bytes

SERVER_VERDICTS = ("ack", "refused")


@dataclass(frozen=True)
class ServerAnswer:
    """One line of the status server: its verdict on one request."""
    acknowledged: bool
    job: str
    status: str
    description: str      # the first 40 characters


@dataclass(frozen=True)
class CrashState:
    """What the drive holds after a power loss once the first `point` lines
    of the journal had happened, and what had happened by then."""
    point: int
    files: tuple          # (path relative to the drive root, content), sorted
    folders: tuple        # paths relative to the drive root, sorted
    answers: tuple        # the server's ServerAnswers, in order
    flushed_names: frozenset  # files that a flush of their folder (or the tree before the run) had named


_DIR = object()   # a folder entry that is a folder


class _File:
    def __init__(self, content=b""):
        self.durable = bytes(content)
        self.pending = []     # ("write", offset, bytes) or ("truncate", size)

    def content(self, kept=None, torn=False):
        """The content with the first `kept` pending operations (all when
        None), and then the next one torn."""
        data = bytearray(self.durable)
        ops = self.pending if kept is None else self.pending[:kept]
        if torn:
            kind, offset, payload = self.pending[kept]
            ops = ops + [(kind, offset, payload[:len(payload) // 2])]
        for op in ops:
            if op[0] == "write":
                _, offset, payload = op
                if len(data) < offset:
                    data.extend(b"\0" * (offset - len(data)))
                data[offset:offset + len(payload)] = payload
            else:
                del data[op[1]:]
                data.extend(b"\0" * (op[1] - len(data)))
        return bytes(data)

    def outcomes(self):
        """Every content a power loss may leave of this file."""
        seen = {self.content(kept) for kept in range(len(self.pending) + 1)}
        for kept, op in enumerate(self.pending):
            if op[0] == "write" and len(op[2]) >= 2:
                seen.add(self.content(kept, torn=True))
        return sorted(seen)


class _Folder:
    def __init__(self, entries=None):
        self.durable = dict(entries or {})   # name -> _DIR or a _File
        self.pending = []    # ("set", name, entry) or ("unset", name) or ("move", old, new)
        self.live = dict(self.durable)

    def change(self, op):
        self.pending.append(op)
        _apply(self.live, op)

    def entries(self, kept):
        entries = dict(self.durable)
        for op in self.pending[:kept]:
            _apply(entries, op)
        return entries


def _apply(entries, op):
    if op[0] == "set":
        entries[op[1]] = op[2]
    elif op[0] == "unset":
        del entries[op[1]]
    else:
        entries[op[2]] = entries.pop(op[1])


def _split(relative):
    parent, _, name = relative.rpartition("/")
    return parent, name


def read_tree(root):
    """The tree under root: path relative to it -> the file's content, or
    None for a folder ("" for root itself)."""
    tree = {}
    for folder, subfolders, files in os.walk(root):
        relative = os.path.relpath(folder, root)
        relative = "" if relative == "." else relative.replace(os.sep, "/")
        tree[relative] = None
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                tree[_join(relative, name)] = f.read()
    return tree


class _Disk:
    def __init__(self, root, tree, ignored_names):
        self.root = os.path.abspath(root)
        self.ignored_names = set(ignored_names)
        self.folders = {path: _Folder() for path, content in tree.items() if content is None}
        self.flushed_names = set()
        for path, content in tree.items():
            if path:
                parent, name = _split(path)
                self.folders[parent].durable[name] = _DIR if content is None else _File(content)
                if content is not None:
                    self.flushed_names.add(path)
        for folder in self.folders.values():
            folder.live = dict(folder.durable)

    def relative(self, path):
        """The path relative to the root, or None outside it."""
        path = os.path.normpath(path)
        if path == self.root:
            return ""
        if not path.startswith(self.root + os.sep):
            return None
        return path[len(self.root) + 1:].replace(os.sep, "/")

    def file(self, relative):
        parent, name = _split(relative)
        entry = self.folders[parent].live.get(name) if parent in self.folders else None
        if not isinstance(entry, _File):
            raise ValueError("no file %r in the journal's tree" % relative)
        return entry

    def folder(self, relative):
        if relative not in self.folders:
            raise ValueError("no folder %r in the journal's tree" % relative)
        return self.folders[relative]

    def apply(self, op, args):
        paths = [self.relative(arg) for arg in args[:2 if op == "rename" else 1]]
        if any(path is None for path in paths):
            if op == "rename" and paths != [None, None]:
                raise ValueError("rename across the drive root: %r" % (args,))
            return
        path = paths[0]
        parent, name = _split(path)
        if op == "mkdir":
            self.folder(parent).change(("set", name, _DIR))
            self.folders[path] = _Folder()
        elif op == "create":
            # Opening a file that exists (a lock file opened always) changes
            # no entry; emptying it is a truncation of its own.
            if not isinstance(self.folder(parent).live.get(name), _File):
                self.folder(parent).change(("set", name, _File()))
        elif op == "write":
            self.file(path).pending.append(("write", int(args[1]), bytes.fromhex(args[2])))
        elif op == "truncate":
            self.file(path).pending.append(("truncate", int(args[1])))
        elif op == "flush":
            f = self.file(path)
            f.durable, f.pending = f.content(), []
        elif op == "flushdir":
            folder = self.folder(path)
            folder.durable, folder.pending = dict(folder.live), []
            self.flushed_names.update(_join(path, name) for name, entry in folder.live.items()
                                      if isinstance(entry, _File))
        elif op == "delete":
            self.file(path)
            self.folder(parent).change(("unset", name))
        elif op == "rename":
            source = self.file(path)
            target_parent, target_name = _split(paths[1])
            if target_parent == parent:
                self.folder(parent).change(("move", name, target_name))
            else:
                self.folder(parent).change(("unset", name))
                self.folder(target_parent).change(("set", target_name, source))
        else:
            raise ValueError("unknown operation %r" % op)

    def states(self):
        """Every (files, folders) a power loss may leave now."""
        changing = [path for path, folder in self.folders.items() if folder.pending]
        seen = set()
        for kept in itertools.product(*(range(len(self.folders[path].pending) + 1) for path in changing)):
            entries = {path: folder.durable for path, folder in self.folders.items()}
            entries.update((path, self.folders[path].entries(k)) for path, k in zip(changing, kept))
            folders, files = [], []
            pending = [""]
            while pending:
                folder = pending.pop()
                folders.append(folder)
                for name, entry in entries[folder].items():
                    if entry is _DIR:
                        pending.append(_join(folder, name))
                    elif name not in self.ignored_names:
                        files.append((_join(folder, name), entry))
            files.sort(key=lambda item: item[0])
            choices = [entry.outcomes() for _, entry in files]
            for contents in itertools.product(*choices):
                state = (tuple(zip((path for path, _ in files), contents)), tuple(sorted(folders)))
                if state not in seen:
                    seen.add(state)
                    yield state


def _join(folder, name):
    return folder + "/" + name if folder else name


def _decode_path(text):
    return os.fsdecode(unquote_to_bytes(text))


def read_journal(path):
    """The journal's lines as ("op", [arguments]) or ServerAnswer, in order."""
    events = []
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for number, line in enumerate(f.read().split("\n")[:-1], 1):
            word, _, rest = line.partition(" ")
            if word in SERVER_VERDICTS:
                job, status, description = (rest.split(" ", 2) + ["", ""])[:3]
                events.append(ServerAnswer(word == "ack", job, status, unquote(description)))
                continue
            args = rest.split(" ")
            arity = {"mkdir": 1, "create": 1, "flush": 1, "flushdir": 1, "delete": 1,
                     "rename": 2, "truncate": 2, "write": 3}.get(word)
            if arity is None or len(args) != arity:
                raise ValueError("journal line %d is not an operation: %r" % (number, line))
            if word in ("write", "truncate"):
                args = [_decode_path(args[0])] + args[1:]
            else:
                args = [_decode_path(arg) for arg in args]
            events.append((word, args))
    return events


def enumerate_crash_states(events, root, tree, ignored_names=()):
    """Every CrashState of a run whose journal events are, on the drive root
    that held tree (read_tree) before the run: for a loss before the first
    line and after each line. States that are the same on the disk and in
    what had happened are given once. Files named in ignored_names are left
    out of the states."""
    disk = _Disk(root, tree, ignored_names)
    answers = []
    seen = set()
    for point in range(len(events) + 1):
        if point:
            event = events[point - 1]
            if isinstance(event, ServerAnswer):
                answers.append(event)
            else:
                disk.apply(*event)
        flushed = frozenset(disk.flushed_names)
        for files, folders in disk.states():
            key = (files, folders, tuple(answers), flushed)
            if key not in seen:
                seen.add(key)
                yield CrashState(point, files, folders, tuple(answers), flushed)
