#!/usr/bin/env bash
# Installs the Debian package, checks the program, the service's user, data
# directory, configuration and unit, then removes and purges the package: the
# data directory keeps its files.
set -euo pipefail
build=$1 version=$2
if [ "$(id -u)" -ne 0 ] || ! command -v dpkg >/dev/null; then
  echo "skipped: installing the package needs root and dpkg" && exit 77
elif dpkg-query -W -f='${Status}' brivos 2>/dev/null | grep -q installed; then
  echo "skipped: a brivos package is installed on this machine already" && exit 77
fi
fail() { echo "$*" && exit 1; }
dpkg -i "$build"/brivos_*.deb >/dev/null
trap 'dpkg -P brivos >/dev/null 2>&1 || true' EXIT
program=$(command -v brivos) || fail "the package installed no brivos program"
[ "$("$program" --version)" = "brivos $version" ] || fail "brivos --version: $("$program" --version)"
[ "$(stat -c %U:%a /var/lib/brivos)" = brivos:750 ] || fail "/var/lib/brivos: wrong owner or mode"
[ "$(stat -c %G:%a /etc/brivos/brivos.conf)" = brivos:640 ] || fail "brivos.conf: wrong group or mode"
dpkg-query -W -f='${Conffiles}' brivos | grep -q ' /etc/brivos/brivos.conf ' || fail "no conffile"
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify "$(dpkg -L brivos | grep '/brivos.service$')"
else
  echo "systemd-analyze not found: the unit is not verified"
fi
touch /var/lib/brivos/kept-by-package-test
dpkg -r brivos >/dev/null && [ ! -e "$program" ] || fail "$program is still there after dpkg -r"
dpkg -P brivos >/dev/null && rm /var/lib/brivos/kept-by-package-test || fail "the data went too"
echo "installed, checked, removed and purged the package; /var/lib/brivos kept"
