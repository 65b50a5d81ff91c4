#!/usr/bin/env bash
# Dravik's end-to-end benchmarks: dravik-cli on the virtual sound card beside the reference tools,
# all on the same 10-minute input, printed as a table. Run after a Release build:
#   bench/run-benchmarks.sh [MINUTES]
set -euo pipefail
cd "$(dirname "$0")/.."

minutes="${1:-10}"
seconds=$((minutes * 60))
cli="$PWD/build/bin/dravik-cli"
[ -x "$cli" ] || { echo "build first: cmake --build build" >&2; exit 1; }
for tool in sox lame ffmpeg; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
mkdir -p "$HOME"
fixture="$PWD/testsupport/fixtures/speech-44100-16-stereo.wav"
input="$work/input.wav"
sox "$fixture" "$input" repeat $((seconds / 5 + 1)) trim 0 "$seconds"
lame --quiet -b 128 "$input" "$work/input.mp3"
ffmpeg -loglevel error -y -i "$input" -c:a wmav2 -b:a 128k "$work/input.wma"

# Seconds of wall-clock time a command takes (its output goes to $work/last.out and .err).
timed() {
  local start end
  start=$(date +%s.%N)
  "$@" >"$work/last.out" 2>"$work/last.err" || { echo "failed: $*" >&2; cat "$work/last.err" >&2; return 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
fmt() { printf '%.2f' "$1"; }

record() {
  DRAVIK_AUDIO="virtual:in=$input,pace=fast" DRAVIK_CLI_STATS=1 timed "$cli" record \
    --seconds "$seconds" --temp-folder "$work/temp" --save-folder "$work/save" "$@"
}

echo "Dravik benchmarks: ${minutes}-minute input, 44100 Hz 16-bit stereo, $(nproc) cores"
echo
echo "| What | Dravik (s) | Reference | Reference (s) | Ratio |"
echo "|---|---|---|---|---|"

t=$(record --encode wav --format 0 --out "$work/rec.wav")
r=$(timed sox "$input" "$work/sox.wav")
echo "| record to WAV | $(fmt "$t") | sox in.wav out.wav | $(fmt "$r") | $(ratio "$t" "$r") |"

t=$(record --encode mp3 --format 10 --out "$work/rec.mp3")
mp3stats=$(grep '^stats:' "$work/last.err" || true)
r=$(timed lame --quiet -b 128 -h -p -c "$input" "$work/lame.mp3")
r2=$(timed sox "$input" -C 128 "$work/sox.mp3")
# sox's default encoder quality is lower than the high-quality preset ours uses; .2 asks for it.
r3=$(timed sox "$input" -C 128.2 "$work/sox-q2.mp3")
echo "| record to MP3 128 kbit/s | $(fmt "$t") | lame -b 128 -h -p -c | $(fmt "$r") | $(ratio "$t" "$r") |"
echo "| record to MP3 128 kbit/s | $(fmt "$t") | sox -C 128 | $(fmt "$r2") | $(ratio "$t" "$r2") |"
echo "| record to MP3 128 kbit/s | $(fmt "$t") | sox -C 128.2 (the same encoder quality) | $(fmt "$r3") | $(ratio "$t" "$r3") |"

t=$(record --encode wma --format 5 --out "$work/rec.wma")
r=$(timed ffmpeg -loglevel error -y -i "$input" -c:a wmav2 -b:a 128k "$work/ff.wma")
echo "| record to WMA a128 | $(fmt "$t") | ffmpeg -c:a wmav2 -b:a 128k | $(fmt "$r") | $(ratio "$t" "$r") |"

vox_seconds=$((seconds / 5))
t=$(DRAVIK_AUDIO="virtual:in=bursts,pace=fast" DRAVIK_CLI_STATS=1 timed "$cli" record \
  --seconds "$vox_seconds" --vox on --auto-save serial --temp-folder "$work/temp" \
  --save-folder "$work/vox")
blocks=$(sed -n 's/^stats: .*recorded from \([0-9]*\),.*/\1/p' "$work/last.err")
written=$(sed -n 's/^stats: .*written \([0-9.]*\) s.*/\1/p' "$work/last.err")
files=$(ls "$work/vox" | wc -l)
dropped=$(echo "scale=1; 100 - 100 * $written / ($blocks * 0.04)" | bc -l)
echo "| VOX on bursts: ${vox_seconds} s of sound kept in $files files, ${dropped} % of the input dropped as silence | $(fmt "$t") | | | |"

for kind in mp3 wma; do
  t=$(DRAVIK_AUDIO="virtual:pace=fast,out=null" timed "$cli" play "$work/input.$kind")
  r=$(timed ffmpeg -loglevel error -i "$work/input.$kind" -f null -)
  echo "| play $kind to the null output | $(fmt "$t") | ffmpeg -f null - | $(fmt "$r") | $(ratio "$t" "$r") |"
done

TIMEFORMAT='%U %S'
cpu=$( { time DRAVIK_AUDIO="virtual:in=tone,pace=realtime" "$cli" monitor --seconds 10 >/dev/null 2>&1; } 2>&1 )
share=$(echo "scale=2; ($(echo "$cpu" | awk '{print $1 " + " $2}')) * 10" | bc -l)
echo "| monitoring for 10 s in real time (device open, nothing recorded) | CPU ${share} % of one core | | | |"

mean=$(echo "$mp3stats" | sed -n 's/.*mean \([0-9.]*\) us.*/\1/p')
largest=$(echo "$mp3stats" | sed -n 's/.*largest \([0-9.]*\) us.*/\1/p')
echo "| capture thread per 40-ms block while recording MP3 | mean ${mean} us, largest ${largest} us | | | |"
