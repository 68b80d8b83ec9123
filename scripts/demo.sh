#!/usr/bin/env bash
# The main job: builds the library and its program, provisions a subscriber
# database and signs its main user in, printing the session token.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBRIVOS_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target brivos_cli
data=${BRIVOS_DATA:-$(mktemp -d)}
brivos=build/tools/brivos
account=A100
rm -f "$data/$account.mdb" "$data/$account.mdb-wal" "$data/$account.mdb-shm"
"$brivos" --db-dir "$data" init "$account" --company "Acme Consulting" --user admin --password secret
"$brivos" --db-dir "$data" call CSecurityMgr BeginUserSession "$account" admin secret
