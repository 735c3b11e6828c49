"""Whether a path names something other than a file: the inputs and outputs that must not
be treated as files."""
from __future__ import annotations

import os
import stat

# The name the command line reads "-" as, so that its reports name it so.
STDIN = "/dev/stdin"


def is_other(path: str) -> bool:
    """Whether path exists, following links, and is not a regular file (a pipe, a socket, a
    device or a folder): opening or reading it may wait for ever or never end, and renaming
    a new file over it would replace the node itself. A link that leads nowhere is not:
    reading it reports the error, and writing it makes the file."""
    try:
        return not stat.S_ISREG(os.stat(path).st_mode)
    except OSError:
        return False
