#!/usr/bin/env bash
# Installs what Ovra needs, builds it (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build build --target ovra
exec ./build/src/app/ovra "$@"
