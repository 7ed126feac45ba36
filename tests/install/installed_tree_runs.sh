#!/usr/bin/env bash
# `cmake --install` of the build into a temporary prefix gives a program that runs from there.
#   tests/install/installed_tree_runs.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
prefix=$(mktemp -d "${TMPDIR:-/tmp}/korimado-prefix.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1 || { cat "$prefix.log"; rm -f "$prefix.log"; exit 1; }
rm -f "$prefix.log"
"$here/run-installed.sh" "$prefix"
