#!/usr/bin/env bash
# Installs what building BRIVOS needs, when it is missing. Idempotent: with
# everything present it only checks and returns.
set -euo pipefail
packages=(build-essential cmake libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev
          nlohmann-json3-dev libcli11-dev libboost-dev zlib1g-dev curl python3-requests wrk
          pybind11-dev python3-dev python3-pytest
          file pkg-config postgresql-15 libpq-dev prometheus
          libcairo2-dev libpango1.0-dev fonts-dejavu-core poppler-utils
          libxml2-utils libsaxonhe-java default-jre-headless)
source "$(dirname "$0")/apt-missing.sh"
install_missing "${packages[@]}"
# The browser tests: Chromium, Node.js and the npm packages of tests/browser.
bash "$(dirname "$0")/setup-browser.sh"
# The OpenAPI linter of the service's tests (tests/server/package-lock.json).
# It needs a later Node.js than Debian 12's: with an older one npm refuses to
# install it (--engine-strict) and the service's tests skip the lint, saying so.
if command -v npm >/dev/null; then
  server_tests="$(dirname "$0")/../tests/server"
  if [ ! -f "$server_tests/node_modules/.package-lock.json" ] ||
     [ "$server_tests/package-lock.json" -nt "$server_tests/node_modules/.package-lock.json" ]; then
    echo "installing the npm packages of tests/server"
    (cd "$server_tests" && npm ci --engine-strict --no-audit --no-fund --loglevel=error) ||
      echo "warning: npm ci failed in tests/server (Node.js $(node --version 2>/dev/null));" \
           "the OpenAPI lint will be skipped"
  fi
fi
