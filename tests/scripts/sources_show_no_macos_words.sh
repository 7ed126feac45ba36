#!/usr/bin/env bash
# No text the program shows names the Finder or the ⌘ key, which a Linux desktop lacks: a string
# literal in src/ that does fails (action names such as "showInFinder:" are not shown).
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
found=$(grep -rnP --include='*.cpp' --include='*.h' '"[^"]*(?<![A-Za-z])(Finder|⌘)[^"]*"' "$root/src" || true)
if [ -n "$found" ]; then
  echo "texts that name the Finder or the ⌘ key:"
  echo "$found"
  exit 1
fi
