"""python -m varnok: the same command line as the `varnok` console script."""
import sys

from varnok.cli import main

sys.exit(main())
