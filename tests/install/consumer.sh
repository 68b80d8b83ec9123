#!/usr/bin/env bash
# Installs the plain build under a staging root and builds a program against it with find_package
# and with pkg-config: each must sign a user in and list the installed brivos program's classes.
set -euo pipefail
build=$1 consumer=$2 work=$3
rm -rf "$work" && mkdir -p "$work/data-consumer" "$work/data-consumer-pc"
DESTDIR=$work/root cmake --install "$build" >/dev/null
prefix=$work/root/usr
for header in $(grep -rhoE '"brivos/[^"]+"' "$prefix/include" | tr -d '"' | sort -u); do
  [ -f "$prefix/include/$header" ] || { echo "$header is included, not installed"; exit 1; }
done
cmake -S "$consumer" -B "$work" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null && cmake --build "$work" >/dev/null
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name brivos.pc)")
c++ -std=c++20 -o "$work/consumer-pc" "$consumer/main.cpp" $(pkg-config --cflags --libs brivos) \
  -Wl,-rpath,"$(pkg-config --variable=libdir brivos)"
expected=$("$prefix/bin/brivos" --compact classes | grep -oE '"name":"[^"]+"' | cut -d'"' -f4)
for program in consumer consumer-pc; do
  diff <(echo "$expected") <("$work/$program" "$work/data-$program") \
    || { echo "$program failed or lists other classes than the brivos program (<)"; exit 1; }
done
