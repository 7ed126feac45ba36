#!/usr/bin/env bash
# Checks an installed Korimado under ROOT (ROOT/bin/korimado, as `cmake --install` or the Debian
# package lays it out): the files are where the desktop looks for them and pass its validators, and
# the program started offscreen on a file keeps running while it reads that file, its resources
# and its preview engine from ROOT (not from the source or build tree).
#   tests/install/run-installed.sh ROOT
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 ROOT" >&2; exit 2; }
root=$(cd "$1" && pwd)
id=app.korimado.Korimado
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in inotifywait desktop-file-validate appstreamcli setsid; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps installs it)"
done

# The layout.
for path in bin/korimado lib/korimado/modules/korimado_preview_web.so share/korimado/AppIcon.png \
    share/korimado/Syntaxes share/korimado/Themes share/korimado/Tokenizers/o200k_base.tiktoken \
    share/korimado/encodings/korimado-sjis-x0213.cnv share/korimado/Icons/text-x-generic.png \
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$id.svg; do
  [ -e "$root/$path" ] || fail "$path is not installed"
done
for size in 16 22 24 32 48 64 128 256; do
  [ -f "$root/share/icons/hicolor/${size}x${size}/apps/$id.png" ] || fail "no ${size}x${size} icon"
done
[ -x "$root/bin/korimado" ] || fail "bin/korimado is not executable"
for path in tools desktop encodings/korimado-sjis-x0213.ucm; do
  [ ! -e "$root/share/korimado/$path" ] || fail "share/korimado/$path is installed, but only the sources need it"
done
desktop-file-validate "$root/share/applications/$id.desktop" || fail "the desktop entry does not validate"
appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" >/dev/null || {
  appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml"; fail "the AppStream file does not validate"; }
grep -qx "Exec=korimado %F" "$root/share/applications/$id.desktop" || fail "the desktop entry does not start korimado with files"

work=$(mktemp -d "${TMPDIR:-/tmp}/korimado-installed.XXXXXX")
program=""
watcher=""
cleanup() {
  # The program and its web engine's helpers share one process group.
  # A group that ended on TERM leaves nothing to kill: that is no failure of the check.
  if [ -n "$program" ] && kill -TERM -- "-$program" 2>/dev/null; then
    sleep 0.5
    kill -KILL -- "-$program" 2>/dev/null || true
  fi
  [ -n "$watcher" ] && kill "$watcher" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/config" "$work/data" "$work/cache" "$work/runtime" "$work/home" "$work/doc"
chmod 700 "$work/runtime"
printf '# 覚え書き\n\n窓の氷が解けるまで、ここに書いておく。\n\n- 一つ目\n- 二つ目\n' > "$work/doc/notes.md"

inotifywait -m -r -e open --format '%w%f' "$root/share/korimado" "$root/lib/korimado" "$work/doc" \
  > "$work/opened" 2> "$work/watcher.log" &
watcher=$!
for _ in $(seq 100); do grep -q "Watches established" "$work/watcher.log" && break; sleep 0.1; done
grep -q "Watches established" "$work/watcher.log" || fail "inotifywait did not start: $(cat "$work/watcher.log")"

export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" \
  XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
unset KORIMADO_RESOURCES DISPLAY WAYLAND_DISPLAY
(cd "$work/home" && exec setsid "$root/bin/korimado" "$work/doc/notes.md") > "$work/output" 2>&1 &
program=$!

wanted=("$work/doc/notes.md" "$root/share/korimado/Syntaxes/" "$root/share/korimado/Tokenizers/"
        "$root/lib/korimado/modules/korimado_preview_web.so")
missing=("${wanted[@]}")
for _ in $(seq 300); do
  kill -0 "$program" 2>/dev/null || { cat "$work/output" >&2; fail "the installed program ended by itself"; }
  missing=()
  for item in "${wanted[@]}"; do grep -qF "$item" "$work/opened" || missing+=("$item"); done
  [ ${#missing[@]} -eq 0 ] && break
  sleep 0.1
done
[ ${#missing[@]} -eq 0 ] || { cat "$work/output" >&2; fail "after 30 s the program had not opened: ${missing[*]}"; }
sleep 1
kill -0 "$program" 2>/dev/null || { cat "$work/output" >&2; fail "the installed program ended by itself"; }
echo "installed program under $root: ran on a file and read its resources from there"
