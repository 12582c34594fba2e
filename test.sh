#!/usr/bin/env bash
# Installs what Ovra needs, checks the code's layout, builds everything and runs
# every test.
# --sanitize builds into build-sanitize with AddressSanitizer and
# UndefinedBehaviorSanitizer; a finding ends its test program and fails it.
set -euo pipefail
cd "$(dirname "$0")"
build=build
config=(-DCMAKE_BUILD_TYPE=Release)
jobs=$(nproc)
if [[ "${1:-}" == "--sanitize" ]]; then
  shift
  build=build-sanitize
  config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVRA_SANITIZE=ON)
  export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=0:${ASAN_OPTIONS:-}"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"
  # Each test runs several times slower: fewer at once keep the timed ones fair.
  jobs=$(( ($(nproc) + 1) / 2 ))
fi
bash scripts/install-deps.sh
# Every C++ file of ours stands as .clang-format lays it out; a file that does
# not fails the run before anything is built.
find src tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run --Werror
cmake -S . -B "$build" -G Ninja "${config[@]}" -DBUILD_TESTING=ON >/dev/null
cmake --build "$build"
# Clang warns of things gcc lets pass: our code builds without a warning under both.
python3 scripts/clang-warnings.py "$build" .
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j "$jobs" "$@"
