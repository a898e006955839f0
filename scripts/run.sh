#!/usr/bin/env bash
# Installs what is missing, builds the Windows client and runs it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target KESTA KESTA_host kesta-service
bin=build/windows/bin
echo "Starting $bin/KESTA.exe under Wine"
set +e
build/windows/wine-run "$bin/KESTA.exe" "$@"
code=$?
set -e
echo "KESTA.exe exited with code $code"
exit "$code"
