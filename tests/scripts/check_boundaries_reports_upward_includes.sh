#!/usr/bin/env bash
# scripts/check-boundaries names the file, the line and both folders of an include that goes up the
# layer order, also through a relative path or between the subfolders of an area, and passes a tree
# that keeps to the order.
set -euo pipefail
source_root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
check="$source_root/scripts/check-boundaries"
fail() { echo "FAIL: $1"; cat "$work/out"; exit 1; }

mkdir -p "$work/src/low" "$work/src/high"
printf 'set(KORIMADO_AREAS low\n    high)  # lower first\n' > "$work/src/CMakeLists.txt"
printf '#pragma once\n' > "$work/src/low/Low.h"
printf '#include "high/High.h"\n#include "low/Low.h"\n#include "Own.h"\n' > "$work/src/high/High.cpp"
printf '#pragma once\n#include "../low/Low.h"\n' > "$work/src/high/High.h"
"$check" "$work" > "$work/out" 2>&1 || fail "a tree in order was refused"

printf '#include "low/Low.h"\n  #  include "high/High.h"\n' > "$work/src/low/Low.cpp"
printf '#pragma once\n#include "../high/High.h"\n' > "$work/src/low/Low.h"
status=0
"$check" "$work" > "$work/out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "exit status $status, expected 1"
grep -q '^src/low/Low.cpp:2: low includes high/High.h, but high is above low' "$work/out" || fail "no line for Low.cpp"
grep -q '^src/low/Low.h:2: low includes ../high/High.h, but high is above low' "$work/out" || fail "no line for Low.h"

rm "$work/src/low/Low.cpp" && printf '#pragma once\n' > "$work/src/low/Low.h"
mkdir "$work/src/stray"
status=0
"$check" "$work" > "$work/out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "a folder outside the order passed"
grep -q '^src/stray/: folder missing from the layer order' "$work/out" || fail "no line for the stray folder"
rmdir "$work/src/stray"
mkdir -p "$work/src/low/base" "$work/src/low/top"
printf 'korimado_area(FOLDER base DEFAULT core)\nkorimado_area(FOLDER top DEFAULT ui OTHER X)\n' > "$work/src/low/CMakeLists.txt"
printf '#include "low/base/Base.h"\n' > "$work/src/low/top/Top.cpp"
printf '#pragma once\n#include "Base2.h"\n' > "$work/src/low/base/Base.h"
"$check" "$work" > "$work/out" 2>&1 || fail "subfolders in order were refused"
printf '#include "low/top/Top.h"\n' > "$work/src/low/base/Base.cpp"
status=0
"$check" "$work" > "$work/out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "an upward include between subfolders passed"
grep -q '^src/low/base/Base.cpp:1: low/base includes low/top/Top.h, but low/top is above low/base' "$work/out" ||
  fail "no line for Base.cpp"
rm "$work/src/low/base/Base.cpp"

# The editor's widget header is refused from scripting and the self-tests, not from the window.
mkdir -p "$work/src/editor" "$work/src/window" "$work/src/scripting" "$work/src/selftest"
printf 'set(KORIMADO_AREAS low editor window scripting selftest high)\n' > "$work/src/CMakeLists.txt"
rm "$work/src/low/CMakeLists.txt"
printf '#pragma once\n' > "$work/src/editor/EditorTextView.h"
printf '#include "editor/EditorTextView.h"\n' > "$work/src/window/EditorWindowController.h"
printf '#include "editor/EditorTextView.h"\n' > "$work/src/window/Pane.cpp"
printf '#include "editor/DocumentEditor.h"\n' > "$work/src/scripting/Allowed.cpp"
# The self-tests' one bridge to the window; the suites themselves go through it.
printf '#include "window/EditorWindowController.h"\n' > "$work/src/selftest/SelfTestWindow.cpp"
"$check" "$work" > "$work/out" 2>&1 || fail "the window including the editor widget was refused"
printf '#include "editor/DocumentEditor.h"\n#include "editor/EditorTextView.h"\n' > "$work/src/scripting/Script.cpp"
printf '#include "window/EditorWindowController.h"\n' > "$work/src/selftest/Suite.cpp"
printf '#include "editor/EditorTextView.h"\n' > "$work/src/selftest/IntegrationTestsRun.cpp"
status=0
"$check" "$work" > "$work/out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "a widget include from scripting passed"
grep -q '^src/scripting/Script.cpp:2: includes the widget header editor/EditorTextView.h' "$work/out" ||
  fail "no line for Script.cpp"
grep -q '^src/selftest/Suite.cpp:1: includes the widget header window/EditorWindowController.h' "$work/out" ||
  fail "no line for Suite.cpp"
grep -q '^src/selftest/IntegrationTestsRun.cpp:1: includes the widget header editor/EditorTextView.h' "$work/out" ||
  fail "no line for IntegrationTestsRun.cpp"
if grep -q 'Allowed.cpp\|SelfTestWindow.cpp\|layer order is' "$work/out"; then fail "a line for an include that keeps the rules"; fi
echo "ok"
