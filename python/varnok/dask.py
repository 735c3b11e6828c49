"""Beyond one machine: the documents of many statement files as one dask DataFrame, one
partition per file, read where the partition is computed (on any dask or distributed worker)."""
from __future__ import annotations

import os
import warnings
from collections.abc import Sequence
from typing import Any

from varnok.export import path_list, require, to_dataframe
from varnok.typed import read_file

# Every partition must have one schema, so amounts are rescaled to one scale (exactly:
# a file with more decimals than this fails its partition instead of rounding).
DEFAULT_AMOUNT_SCALE = 2


def _partition(path: str, amount_scale: int) -> Any:
    statement = read_file(path)
    try:
        return to_dataframe(statement, amount_scale=amount_scale)
    except Exception as exc:  # pyarrow.ArrowInvalid for an amount beyond the scale
        exc.add_note(f"in the partition of {path}")
        raise


def read_documents(paths: str | os.PathLike[str] | Sequence[str | os.PathLike[str]], *,
                   amount_scale: int = DEFAULT_AMOUNT_SCALE) -> Any:
    """A dask DataFrame of the documents of `paths` (one path or many; columns as
    varnok.to_dataframe gives them: file, line, the 53 fields, direction, fingerprint), one
    partition per file. A file that fails to read raises varnok.ReadFailure when its
    partition is computed; one with an amount of more decimals than amount_scale,
    pyarrow.ArrowInvalid noting the file."""
    with warnings.catch_warnings():
        # Debian's dask warns on import that it lacks the optional dask-expr planner.
        warnings.filterwarnings("ignore", "Dask dataframe query planning", FutureWarning)
        dd = require("dask.dataframe", "varnok.dask")
    require("pyarrow", "varnok.dask")
    files = path_list(paths)
    if not files:
        raise ValueError("varnok.dask.read_documents: no paths given")
    meta = to_dataframe([], amount_scale=amount_scale)
    return dd.from_map(_partition, files, amount_scale=amount_scale, meta=meta, enforce_metadata=False)
