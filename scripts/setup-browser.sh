#!/usr/bin/env bash
# Installs what the browser tests need, when it is missing: Debian's Chromium,
# Node.js with npm, and the npm packages of tests/browser (package-lock.json).
# Idempotent: with everything present it only checks and returns.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(chromium fonts-dejavu-core)
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
source scripts/apt-missing.sh
install_missing "${packages[@]}"
lock=tests/browser/package-lock.json
stamp=tests/browser/node_modules/.package-lock.json
if [ ! -f "$stamp" ] || [ "$lock" -nt "$stamp" ]; then
  echo "installing the npm packages of tests/browser"
  (cd tests/browser && npm ci --no-audit --no-fund --loglevel=error) ||
    echo "warning: npm ci failed in tests/browser; the browser tests will be skipped"
fi
