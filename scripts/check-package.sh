#!/usr/bin/env bash
# Builds the Debian package from a release build folder, checks it with
# lintian (an error fails), installs it with dpkg, runs the installed program
# and finds its manual page with man, then removes it and checks that nothing
# is left. It installs into the machine's /usr, so it needs root and skips
# with a message otherwise, or when a durandex package or /usr/bin/durandex
# is already there (someone's own install is left alone).
#
#   scripts/check-package.sh [BUILD_FOLDER]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
say() { echo "check-package: $*"; }
skip() { say "skipped: $*"; exit 0; }
fail() { say "FAILED: $*" >&2; exit 1; }

command -v dpkg >/dev/null || skip "not a Debian system (no dpkg)"
[ "$(id -u)" -eq 0 ] || skip "needs root to install the package"
status=$(dpkg-query -W -f='${Status}' durandex 2>/dev/null || true)
case "$status" in
    "" | *not-installed) ;;
    *) skip "a durandex package is already on this machine ($status)" ;;
esac
[ ! -e /usr/bin/durandex ] || skip "/usr/bin/durandex is already there"
for tool in cpack lintian man dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || fail "$tool is missing: scripts/install-deps.sh --tests installs it"
done
[ -x "$build/durandex" ] || fail "$build/durandex is not built"

rm -f "$build"/durandex_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
packages=("$build"/durandex_*.deb)
[ ${#packages[@]} -eq 1 ] && [ -f "${packages[0]}" ] || fail "cpack made no single package: ${packages[*]}"
deb=${packages[0]}
say "$deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Depends\|Section\|Priority\): /  \1: /p'

say "lintian:"
lintian --display-info --fail-on error "$deb" || fail "lintian reports errors"

# Debian's container images tell dpkg to leave manual pages out
# (path-exclude in /etc/dpkg/dpkg.cfg.d); the check installs this one page
# all the same, the later option winning, so that man can find it.
page=/usr/share/man/man1/durandex.1.gz
if grep -hs '^path-exclude' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/* | grep -q '/usr/share/man'; then
    say "dpkg here excludes manual pages; $page is included for this check"
fi
trap 'dpkg --purge durandex >/dev/null 2>&1 || true' EXIT
dpkg --path-include="$page" -i "$deb" >/dev/null

expected=$("$build/durandex" --version)
installed=$(/usr/bin/durandex --version) || fail "the installed program does not run"
[ "$installed" = "$expected" ] || fail "installed program says \"$installed\", the build \"$expected\""
say "durandex --version: $installed"
pages=$(env -u MANPATH man -aw durandex) || fail "man -w finds no page for durandex"
grep -qx "$page" <<<"$pages" || fail "man -w finds $pages, not $page"
say "man -w durandex: $page"

dpkg --purge durandex >/dev/null
trap - EXIT
left=$(dpkg-query -W -f='${Status}' durandex 2>/dev/null || true)
case "$left" in
    "" | *not-installed) ;;
    *) fail "dpkg still lists durandex after removal: $left" ;;
esac
for file in /usr/bin/durandex "$page" /usr/share/doc/durandex; do
    [ ! -e "$file" ] || fail "$file is left after removal"
done
say "installed, ran and removed cleanly"
