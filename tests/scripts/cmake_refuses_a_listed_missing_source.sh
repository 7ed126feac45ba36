#!/usr/bin/env bash
# An area that lists a source name with no file behind it stops the configure step and says which.
set -euo pipefail
source_root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $1"; cat "$work/out"; exit 1; }

mkdir -p "$work/project/area"
touch "$work/project/area/Present.cpp" "$work/project/area/Header.h"
cat > "$work/project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(AreaCheck LANGUAGES NONE)
include("$source_root/cmake/KorimadoArea.cmake")
add_subdirectory(area)
CMAKE
echo 'korimado_area(DEFAULT core OTHER Present Header)' > "$work/project/area/CMakeLists.txt"
cmake -S "$work/project" -B "$work/build" > "$work/out" 2>&1 || fail "names that are there were refused"

echo 'korimado_area(DEFAULT core OTHER Present Gone)' > "$work/project/area/CMakeLists.txt"
if cmake -S "$work/project" -B "$work/build" > "$work/out" 2>&1; then fail "a missing source passed"; fi
tr -s " \n" "  " < "$work/out" | grep -q "lists Gone, but no Gone.cpp or Gone.h is there" || fail "the message does not name Gone"
echo "ok"
