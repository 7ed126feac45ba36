#!/usr/bin/env bash
# No text the program shows names the Finder or the ⌘ key, which a Linux desktop lacks, nor
# AppleScript, its editor or macOS: a string literal in src/ that does fails (action names such as
# "showInFinder:" are not shown).
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
found=$(grep -rnP --include='*.cpp' --include='*.h' '"[^"]*(?<![A-Za-z])(Finder|⌘|AppleScript|macOS|osascript|スクリプトエディタ)[^"]*"' "$root/src" || true)
if [ -n "$found" ]; then
  echo "texts that name the Finder, the ⌘ key, AppleScript or macOS:"
  echo "$found"
  exit 1
fi
