#!/usr/bin/env bash
# The Debian package unpacks into a temporary root (dpkg -x), declares what the program needs
# besides its linked libraries, and the program runs from there.
#   tests/install/package_installs_and_runs.sh PACKAGE.deb
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
package=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$package" ] || fail "no package at $package"
root=$(mktemp -d "${TMPDIR:-/tmp}/korimado-deb.XXXXXX")
trap 'rm -rf "$root"' EXIT
dpkg-deb --info "$package" > "$root.info" || fail "dpkg-deb cannot read $package"
depends=$(sed -n 's/^ Depends: //p' "$root.info")
rm -f "$root.info"
# Linked libraries come from dpkg-shlibdeps; the rest is named by hand.
for needed in libqt6widgets6 libqt6webenginewidgets6 libicu72 libcmark-gfm libqt6webenginecore6-bin \
    qt6-translations-l10n; do
  grep -q "$needed" <<< "$depends" || fail "the package does not depend on $needed: $depends"
done
dpkg -x "$package" "$root"
"$here/run-installed.sh" "$root/usr"
echo "package $(basename "$package"): installs and runs"
