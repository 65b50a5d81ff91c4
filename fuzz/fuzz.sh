#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (every library instrumented with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs each target, seeded from the
# fixtures. Without options each runs a fixed number of inputs (about 30 s apiece on a 2-core
# machine), as CI does; --seconds N fuzzes each for N seconds instead, keeping what it learns in
# build-fuzz/fuzz-corpus/ for the next run; --target NAME runs one target (wav-reader,
# mp3-reader, media-reader, settings). Any crash, leak, hang (an input taking over 25 s) or
# sanitizer report fails the run; the input that caused it is kept in build-fuzz/fuzz-findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=""
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --target) only="$2"; shift 2 ;;
    *) echo "usage: fuzz/fuzz.sh [--seconds N] [--target NAME]" >&2; exit 2 ;;
  esac
done

build=build-fuzz
start=$(date +%s)
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDRAVIK_FUZZ=ON -DDRAVIK_TESTS=OFF >/dev/null
# The build runs instrumented tools of its own; their leaks are no finding.
ASAN_OPTIONS=detect_leaks=0 cmake --build "$build" --target fuzzers
echo "fuzz: built in $(( $(date +%s) - start )) s"

fixtures=testsupport/fixtures
# name, runs for CI, seeds (fixture patterns, or a folder of fuzz/seeds)
targets=(
  "wav-reader 5000 *.wav"
  "mp3-reader 3000 *.mp3 *.mp2"
  "media-reader 2000 *.wma *.flac *.ogg *.opus *.mp3 speech-44100-16-stereo.wav"
  "stream-headers 5000 *.flac *.ogg *.opus"
  "settings 700 seeds/settings"
)

# The targets write each input to a file in a folder of their own; one that ends on a finding
# leaves it behind, so it goes in the build tree.
export TMPDIR="$PWD/$build/fuzz-tmp"
mkdir -p "$TMPDIR"
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1
mkdir -p "$build/fuzz-findings"
for entry in "${targets[@]}"; do
  read -r name runs patterns <<<"$entry"
  [ -n "$only" ] && [ "$only" != "$name" ] && continue
  seeds="$build/fuzz-seeds/$name"
  corpus="$build/fuzz-corpus/$name"
  rm -rf "$seeds"
  mkdir -p "$seeds" "$corpus"
  for pattern in $patterns; do
    if [ -d "fuzz/$pattern" ]; then
      cp "fuzz/$pattern"/* "$seeds/"
    else
      cp $fixtures/$pattern "$seeds/"
    fi
  done
  limit=(-runs="$runs")
  [ -n "$seconds" ] && limit=(-max_total_time="$seconds")
  began=$(date +%s)
  log="$build/fuzz-findings/$name.log"
  if ! "$build/bin/fuzz-$name" "${limit[@]}" -timeout=25 -max_len=32768 -rss_limit_mb=2048 \
      -artifact_prefix="$build/fuzz-findings/$name-" "$corpus" "$seeds" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz: $name FAILED after $(( $(date +%s) - began )) s; its log is $log" >&2
    exit 1
  fi
  echo "fuzz: $name $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$log" | head -1)s," \
    "corpus $(ls "$corpus" | wc -l) inputs"
done
echo "fuzz: passed in $(( $(date +%s) - start )) s"
