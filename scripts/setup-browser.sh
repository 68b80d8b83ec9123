#!/usr/bin/env bash
# Installs what the browser tests need, when it is missing: Debian's Chromium,
# Node.js with npm, and the npm packages of tests/browser (package-lock.json).
# Idempotent: with everything present it only checks and returns.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(chromium fonts-dejavu-core)
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
lock=tests/browser/package-lock.json
stamp=tests/browser/node_modules/.package-lock.json
if [ ! -f "$stamp" ] || [ "$lock" -nt "$stamp" ]; then
  echo "installing the npm packages of tests/browser"
  (cd tests/browser && npm ci --no-audit --no-fund --loglevel=error) ||
    echo "warning: npm ci failed in tests/browser; the browser tests will be skipped"
fi
