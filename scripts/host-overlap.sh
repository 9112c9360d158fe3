#!/usr/bin/env bash
# How much the two native hosts' layers still are: their lines (the copied
# host headers left out) and the share of far2l's code lines longer than 40
# characters that stand word for word, blanks trimmed, in FAR 3's layer.
set -euo pipefail
cd "$(dirname "$0")/.."
far3=$(ls host/far3/*.cpp host/far3/*.h | grep -v 'host/far3/far_plugin.h$')
far2l=$(ls host/far2l/*.cpp host/far2l/*.h | grep -v 'host/far2l/far2l_plugin.h$')
# shellcheck disable=SC2086
total=$(cat $far3 $far2l | wc -l)
echo "lines: $total (far3 $(cat $far3 | wc -l), far2l $(cat $far2l | wc -l))"
code_lines() {
  # Comment lines are not code.
  sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' "$@" | grep -v '^//' | awk 'length($0) > 40'
}
# shellcheck disable=SC2086
code_lines $far3 | sort -u > /tmp/host-overlap.far3.$$
# shellcheck disable=SC2086
all=$(code_lines $far2l | wc -l)
# shellcheck disable=SC2086
same=$(code_lines $far2l | grep -cxF -f /tmp/host-overlap.far3.$$ || true)
rm -f /tmp/host-overlap.far3.$$
echo "far2l code lines over 40 characters: $all, also in far3: $same ($((all > 0 ? same * 100 / all : 0)) %)"
