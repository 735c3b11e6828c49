"""Atomic output files: written to a temporary file in the target's folder, then renamed
over the target, so an error or Ctrl-C leaves either the whole new file or the old one."""
from __future__ import annotations

import contextlib
import errno
import os
import secrets
from collections.abc import Iterator
from typing import IO, Any


@contextlib.contextmanager
def atomic_output(path: str | os.PathLike[str], mode: str = "w", **open_args: Any) -> Iterator[IO[Any]]:
    """Opens a temporary file beside `path` (mode "w" or "wb"); on a clean exit it is
    flushed, synced and renamed to `path`, on any exception (KeyboardInterrupt too) removed."""
    target = os.fspath(path)
    if target.endswith((os.sep, os.altsep or os.sep)) or os.path.isdir(target):
        # Nothing is written then, not even beside it (the folder above would take the file).
        raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), target)
    folder = os.path.dirname(os.path.abspath(target))
    fd, temporary = _create_beside(target, folder)
    try:
        with open(fd, mode, closefd=True, **open_args) as f:
            yield f
            f.flush()
            os.fsync(f.fileno())
        try:
            os.replace(temporary, target)
        except OSError as exc:  # named by the target, not by the temporary file
            raise OSError(exc.errno, exc.strerror, target) from None
    except BaseException:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(temporary)
        raise


def _create_beside(target: str, folder: str) -> tuple[int, str]:
    """Creates a new, empty temporary file in `folder`. Made with mode 0666 so the kernel
    applies the umask: an output gets the usual permissions without reading the umask,
    which no thread-safe call can do."""
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_CLOEXEC", 0)
    while True:
        temporary = os.path.join(folder, f".{os.path.basename(target)}.{secrets.token_hex(6)}.tmp")
        try:
            return os.open(temporary, flags, 0o666), temporary
        except FileExistsError:
            continue
        except OSError as exc:
            raise OSError(exc.errno, exc.strerror, target) from None
