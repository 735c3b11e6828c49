"""python -m varnok, and the `varnok` console script: the command line of varnok.cli."""
import sys


def run() -> int:
    try:
        from varnok.cli import main  # (Ctrl-C while it loads ends the command as any other time)
    except KeyboardInterrupt:
        sys.stderr.write("varnok: interrupted\n")
        return 130
    return main(own_process=True)


if __name__ == "__main__":
    sys.exit(run())
