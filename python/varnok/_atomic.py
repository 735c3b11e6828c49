"""Atomic output files: written to a temporary file in the target's folder, then renamed
over the target, so an error or Ctrl-C leaves either the whole new file or the old one."""
from __future__ import annotations

import contextlib
import os
import tempfile
from collections.abc import Iterator
from typing import IO, Any


@contextlib.contextmanager
def atomic_output(path: str | os.PathLike[str], mode: str = "w", **open_args: Any) -> Iterator[IO[Any]]:
    """Opens a temporary file beside `path` (mode "w" or "wb"); on a clean exit it is
    flushed, synced and renamed to `path`, on any exception (KeyboardInterrupt too) removed."""
    target = os.fspath(path)
    folder = os.path.dirname(os.path.abspath(target))
    try:
        fd, temporary = tempfile.mkstemp(prefix=f".{os.path.basename(target)}.", suffix=".tmp", dir=folder)
    except OSError as exc:
        raise OSError(exc.errno, exc.strerror, target) from None
    try:
        with open(fd, mode, closefd=True, **open_args) as f:
            yield f
            f.flush()
            os.fsync(f.fileno())
        # mkstemp makes the file 0600; an output gets the usual permissions.
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temporary, 0o666 & ~umask)
        os.replace(temporary, target)
    except BaseException:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(temporary)
        raise
