"""Atomic output files: written to a temporary file in the target's folder, then renamed
over the target, so an error or Ctrl-C leaves either the whole new file or the old one.
Only a regular file (or a new one) is replaced so: a device, a pipe or a terminal (/dev/null,
/dev/stdout) is written as it is, and a symbolic link stays a link to the file replaced."""
from __future__ import annotations

import contextlib
import errno
import os
import secrets
import stat
from collections.abc import Iterator
from typing import IO, Any

from varnok._file_kind import is_other


_DESCRIPTOR_LINKS = ("/dev/stdin", "/dev/stdout", "/dev/stderr", "/dev/fd/", "/proc/")


@contextlib.contextmanager
def atomic_output(path: str | os.PathLike[str], mode: str = "w", **open_args: Any) -> Iterator[IO[Any]]:
    """Opens a temporary file beside `path` (mode "w" or "wb"); on a clean exit it is
    flushed, synced and renamed to `path`, on any exception (KeyboardInterrupt too) removed."""
    target = _not_a_folder(path)
    if _written_in_place(target):
        with _named(target), open(target, mode, **open_args) as f:
            yield f
        return
    replaced = os.path.realpath(target)
    folder = os.path.dirname(replaced)
    fd, temporary = _create_beside(target, replaced, folder)
    try:
        with _named(target):
            _keep_access(fd, replaced)
            with open(fd, mode, closefd=True, **open_args) as f:
                yield f
                f.flush()
                os.fsync(f.fileno())
            os.replace(temporary, replaced)
    except BaseException:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(temporary)
        raise


def check_output(path: str | os.PathLike[str]) -> None:
    """Raises what atomic_output(path) would meet at its start (a folder that is missing or
    cannot be written, a folder as the path), before work that would then be lost."""
    target = _not_a_folder(path)
    if _written_in_place(target):
        return
    replaced = os.path.realpath(target)
    fd, temporary = _create_beside(target, replaced, os.path.dirname(replaced))
    os.close(fd)
    os.unlink(temporary)


def _not_a_folder(path: str | os.PathLike[str]) -> str:
    target = os.fspath(path)
    if target.endswith((os.sep, os.altsep or os.sep)) or os.path.isdir(target):
        # Nothing is written then, not even beside it (the folder above would take the file).
        raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), target)
    return target


@contextlib.contextmanager
def _named(target: str) -> Iterator[None]:
    """Errors of the writing that name no file (a full disk, a file size limit) name the
    output, as those of opening it do; and a replace's, the output rather than the
    temporary file."""
    try:
        yield
    except OSError as exc:
        if exc.errno is None or (exc.filename is not None and exc.filename2 is None):
            raise
        raise OSError(exc.errno, exc.strerror, target) from None


def _keep_access(fd: int, replaced: str) -> None:
    """Gives the new file the permissions (and, where allowed, the owner) of the file it
    replaces: a statement readable by its owner alone must not become readable by all."""
    try:
        old = os.stat(replaced)
    except FileNotFoundError:
        return  # a new file: the umask decides
    os.fchmod(fd, stat.S_IMODE(old.st_mode))
    if hasattr(os, "fchown") and (old.st_uid, old.st_gid) != (os.geteuid(), os.getegid()):
        with contextlib.suppress(PermissionError):
            os.fchown(fd, old.st_uid, old.st_gid)


def _written_in_place(target: str) -> bool:
    """Whether target is not a file to replace: something that exists and is not a regular
    file (following links), or a link to a descriptor of this process (/dev/stdout,
    /dev/fd/N): replacing the file behind it would leave the descriptor on the old one, and
    what else is written through it would be lost."""
    return (os.name == "posix" and os.path.abspath(target).startswith(_DESCRIPTOR_LINKS)) or is_other(target)


def _shortened(name: str) -> str:
    """name, cut so that the temporary name made of it stays within the 255 bytes a file
    system allows a name (an output's own name may take them all)."""
    encoded = os.fsencode(name)
    if len(encoded) <= 200:
        return name
    return os.fsdecode(encoded[:200]).rstrip(_BYTE_ESCAPES)  # (not half a character: its bytes' escapes)


# The characters os.fsdecode makes of bytes that are not UTF-8.
_BYTE_ESCAPES = "".join(map(chr, range(0xDC80, 0xDD00)))


def _create_beside(target: str, replaced: str, folder: str) -> tuple[int, str]:
    """Creates a new, empty temporary file in `folder`, for `replaced` (errors name
    `target`, the path as given). Made with mode 0666 so the kernel applies the umask: an
    output gets the usual permissions without reading the umask, which no thread-safe call
    can do."""
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_CLOEXEC", 0)
    while True:
        temporary = os.path.join(folder, f".{_shortened(os.path.basename(replaced))}.{secrets.token_hex(6)}.tmp")
        try:
            return os.open(temporary, flags, 0o666), temporary
        except FileExistsError:
            continue
        except OSError as exc:
            raise OSError(exc.errno, exc.strerror, target) from None
