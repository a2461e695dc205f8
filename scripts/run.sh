#!/usr/bin/env bash
# Installs what is missing, builds the client and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ -d app/gui ] && [ -f app/gui/CMakeLists.txt ]; then
    cmake --build build -j "$(nproc)" --target tarvu tarvu-cli
    exec build/app/gui/tarvu "$@"
fi
cmake --build build -j "$(nproc)" --target tarvu-cli
exec build/app/cli/tarvu-cli --help
