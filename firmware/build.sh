#!/bin/sh
# Rebuilds sample.hex from sample.c with SDCC (Debian package sdcc). The result is kept in
# the repository, so nothing else needs SDCC.
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sdcc -mmcs51 --code-size 4096 -o "$work/" sample.c
packihx "$work/sample.ihx" > sample.hex
