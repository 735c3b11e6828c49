#!/bin/bash
# usage: bench/_ab.sh MODE N ROUNDS
for r in $(seq ${3:-3}); do for v in old new; do for e in cp1251 utf-8; do echo -n "$v "; PYTHONPATH=build-ab/$v python3 bench/_prof.py $1 $e $2; done; done; done | sort | awk '{k=$1" "$2" "$3; a[k]=a[k]" "$4} END {for (k in a) print k, a[k]}' | sort
