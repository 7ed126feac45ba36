#!/usr/bin/env bash
# scripts/run passes the build's progress on while it builds, and still shows a failed build's log.
set -euo pipefail
source_root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A copy of the scripts beside a stand-in build tool, so that nothing real is built.
mkdir -p "$work/root/scripts" "$work/bin"
cp "$source_root/scripts/run" "$source_root/scripts/build" "$work/root/scripts/"
printf '#!/bin/sh\nexit 0\n' > "$work/root/scripts/install-deps"
cat > "$work/bin/cmake" <<'TOOL'
#!/bin/sh
case "$1" in
  --build)
    for step in 1 2 3; do echo "[$step/3] Building CXX object src/part$step.cpp.o"; done
    [ -n "${FAKE_BUILD_FAILS:-}" ] && { echo "part3.cpp:1: error: broken"; exit 1; }
    exit 0 ;;
esac
exit 0
TOOL
chmod +x "$work/root/scripts/"* "$work/bin/cmake"
export PATH="$work/bin:$PATH"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

status=0
"$work/root/scripts/run" > "$work/out" 2> "$work/err" || status=$?
fail() { echo "FAIL: $1"; echo "--- stderr:"; cat "$work/err"; exit 1; }
[ "$status" -eq 1 ] || fail "exit status $status, expected 1 (no display)"
grep -q "building Korimado for the first time" "$work/err" || fail "no notice of the first build"
for step in 1 2 3; do grep -q "^\[$step/3\] Building" "$work/err" || fail "step $step not shown"; done
grep -q "no display is available" "$work/err" || fail "the display message is missing"

status=0
FAKE_BUILD_FAILS=1 "$work/root/scripts/run" > "$work/out" 2> "$work/err" || status=$?
[ "$status" -eq 1 ] || fail "a failed build exited with $status"
grep -q "error: broken" "$work/err" || fail "the failed build's log is not shown"
grep -q "the build failed" "$work/err" || fail "no failure message"
echo "scripts/run: 2 passed, 0 failed"
