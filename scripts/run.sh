#!/usr/bin/env bash
# Installs what is missing, builds the client and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The programs and everything an installation copies (the dissector, the manual pages), so
# that the README's next steps (cmake --install, tshark with build/wireshark/tarvu.lua) work.
cmake --build build -j "$(nproc)" --target tarvu_installable
if [ -f app/gui/CMakeLists.txt ]; then
    exec build/app/gui/tarvu "$@"
fi
exec build/app/cli/tarvu-cli --help
