"""The subcommands of the `varnok` command line, one module each (see varnok.cli)."""
