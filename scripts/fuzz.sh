#!/usr/bin/env bash
# Runs one fuzz target for some minutes: scripts/fuzz.sh TARGET MINUTES
# (targets: the folders of fuzz/corpus). Builds the libFuzzer programs with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz/, starts from the
# target's corpus (leaving out inputs marked as known faults) and keeps going after
# a finding. Inputs that crash, stall or run out of memory land in
# build-fuzz/findings/TARGET/: copy each into fuzz/corpus/TARGET/ so that every
# test run replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -ne 2 || ! -d fuzz/corpus/$1 || ! $2 =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET MINUTES" >&2
  echo "targets: $(ls fuzz/corpus | tr '\n' ' ')" >&2
  exit 2
fi
target=$1
minutes=$2
command -v clang++ >/dev/null || { echo "fuzzing needs clang: apt-get install clang" >&2; exit 2; }

build=build-fuzz
mkdir -p $build
# Two runs started together must not build in the same folder at once.
(
  flock 9
  if [[ ! -f $build/build.ninja ]]; then
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
      -DOVRA_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
  fi
  cmake --build $build --target "ovra-fuzz-$target" -j "${OVRA_FUZZ_JOBS:-4}"
) 9>$build/.build-lock

# The fuzzer adds what it learns to a working corpus of its own; only the seeds
# and the findings belong in the repository.
work=$build/corpus/$target
findings=$build/findings/$target
mkdir -p "$work" "$findings"
for input in fuzz/corpus/"$target"/*; do
  [[ -f $input && $input != *.skip && ! -e $input.skip ]] && cp -n "$input" "$work/"
done

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=offscreen
log=$findings/run-$(date +%Y%m%d-%H%M%S).log
set +e
"$build/fuzz/ovra-fuzz-$target" "$work" \
  -max_total_time=$((minutes * 60)) -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
  -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
  -artifact_prefix="$findings/" -print_final_stats=1 2>&1 | tee "$log" | grep -E '^#[0-9]+: cov|INFO: fuzzed|==ERROR|SUMMARY'
set -e

last=$(grep -E '^#[0-9]+: cov' "$log" | tail -1)
echo "target:     $target ($minutes min)"
echo "executions: $(sed -nE 's/^#([0-9]+):.*/\1/p' <<<"$last")"
echo "coverage:   $(sed -nE 's/.*cov: ([0-9]+) ft: ([0-9]+).*/\1 edges, \2 features/p' <<<"$last")"
echo "corpus:     $(sed -nE 's/.*corp: ([0-9]+).*/\1 inputs/p' <<<"$last")"
echo "findings:   $(sed -nE 's|.*oom/timeout/crash: ([0-9/]+).*|\1 (out of memory/stall/crash)|p' <<<"$last")"
ls "$findings" | grep -vE '^run-.*\.log$' | sed "s|^|  $findings/|" || true
echo "log:        $log"
