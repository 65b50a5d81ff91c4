#!/usr/bin/env bash
# Dravik's end-to-end benchmarks: dravik-cli on the virtual sound card beside the reference tools
# on the same inputs (speech and pink noise), printed as a table. Each comparison is run RUNS
# times as pairs (ours, then the reference, one after the other, so both see the same machine
# load) and the medians are shown. Run after a Release build:
#   bench/run-benchmarks.sh [MINUTES] [RUNS]
# DRAVIK_CLI names another dravik-cli to measure; REALTIME_SECONDS (default 60) is the length of
# the two real-time-pace recordings that give the capture thread's figures at the pace of the
# sound (in fast pace it runs at normal priority, and its largest block includes the time the
# system gave to other work).
set -euo pipefail
cd "$(dirname "$0")/.."

minutes="${1:-10}"
runs="${2:-3}"
seconds=$((minutes * 60))
realtime_seconds="${REALTIME_SECONDS:-60}"
cli="${DRAVIK_CLI:-$PWD/build/bin/dravik-cli}"
[ -x "$cli" ] || { echo "build first: cmake --build build" >&2; exit 1; }
for tool in sox lame ffmpeg bc flac opusenc; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
other_fs=""
trap 'rm -rf "$work" ${other_fs:+"$other_fs"}' EXIT
export HOME="$work/home"
mkdir -p "$HOME"
fixture="$PWD/testsupport/fixtures/speech-44100-16-stereo.wav"
speech="$work/speech.wav"
pink="$work/pink.wav"
sox "$fixture" "$speech" repeat $((seconds / 5 + 1)) trim 0 "$seconds"
sox -n -r 44100 -b 16 -c 2 "$pink" synth "$seconds" pinknoise vol 0.5
lame --quiet -b 128 "$speech" "$work/input.mp3"
ffmpeg -loglevel error -y -i "$speech" -c:a wmav2 -b:a 128k "$work/input.wma"

# Runs a command; prints "WALL CPU" (seconds of wall-clock time, and user + system time).
# Its output goes to $work/last.out and $work/last.err.
timed() {
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >"$work/last.out" 2>"$work/last.err" ||
    { echo "failed: $*" >&2; cat "$work/last.err" >&2; return 1; }
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/time"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
fmt() { printf '%.2f' "$1"; }

# pair OURS_FUNCTION REFERENCE_FUNCTION: runs both $runs times, one after the other, and sets
# ours_wall ours_cpu ref_wall ref_cpu to the medians.
pair() {
  local i ow="" oc="" rw="" rc="" t
  for ((i = 0; i < runs; i++)); do
    t=$("$1"); ow+="${t% *}"$'\n'; oc+="${t#* }"$'\n'
    t=$("$2"); rw+="${t% *}"$'\n'; rc+="${t#* }"$'\n'
  done
  ours_wall=$(printf '%s' "$ow" | median); ours_cpu=$(printf '%s' "$oc" | median)
  ref_wall=$(printf '%s' "$rw" | median); ref_cpu=$(printf '%s' "$rc" | median)
}
row() { # WHAT REFERENCE
  echo "| $1 | $(fmt "$ours_wall") | $2 | $(fmt "$ref_wall") | $(ratio "$ours_wall" "$ref_wall") | $(ratio "$ours_cpu" "$ref_cpu") |"
}

record() { # INPUT, then dravik-cli record options
  local input="$1"
  shift
  rm -rf "$work/temp" "$work/save" "$work"/rec.*
  DRAVIK_AUDIO="virtual:in=$input,pace=fast" DRAVIK_CLI_STATS=1 timed "$cli" record \
    --seconds "$seconds" --temp-folder "$work/temp" --save-folder "$work/save" "$@"
}
stat_of() { sed -n "s/^stats: .*$1 \([0-9.]*\) us.*/\1/p" "$work/last.err"; }

# The MP3 reference makes what ours makes: plain stereo (-m s), no info tag (-t), no ReplayGain
# analysis, at the same quality (-h) with CRC (-p) and the copyright bit (-c).
lame_like_ours=(lame --quiet -b 128 -h -m s -t --noreplaygain -p -c)

echo "Dravik benchmarks: ${minutes}-minute inputs, 44100 Hz 16-bit stereo, $(nproc) cores, medians of $runs paired runs"
echo
echo "| What | Dravik (s) | Reference | Reference (s) | Time ratio | CPU ratio |"
echo "|---|---|---|---|---|---|"

ours() { record "$speech" --encode wav --format 0 --out "$work/rec.wav"; }
ref() { timed sox "$speech" "$work/sox.wav"; }
pair ours ref
row "record to WAV" "sox in.wav out.wav"

fast_mean=() fast_largest=()
ours() {
  record "$1" --encode mp3 --format 10 --out "$work/rec.mp3"
  stat_of mean >>"$work/mp3-mean"
  stat_of largest >>"$work/mp3-largest"
}
for input in speech pink; do
  file="$work/$input.wav"
  ours_speech() { ours "$speech"; }
  ours_pink() { ours "$pink"; }
  ref() { timed "${lame_like_ours[@]}" "$file" "$work/lame.mp3"; }
  pair "ours_$input" ref
  row "record $input to MP3 128 kbit/s" "lame -b 128 -h -m s -t --noreplaygain -p -c"
done
mp3_mean=$(median <"$work/mp3-mean")
mp3_largest=$(median <"$work/mp3-largest")

ours() { record "$speech" --encode mp3 --format 10 --out "$work/rec.mp3"; }
ref() { timed sox "$speech" -C 128 "$work/sox.mp3"; }
pair ours ref
row "record speech to MP3 128 kbit/s" "sox -C 128 (a faster, lower encoder quality)"
# sox's default encoder quality is lower than the high-quality preset ours uses; .2 asks for it.
ref() { timed sox "$speech" -C 128.2 "$work/sox-q2.mp3"; }
pair ours ref
row "record speech to MP3 128 kbit/s" "sox -C 128.2 (the same encoder quality)"

ours() { record "$speech" --encode wma --format 5 --out "$work/rec.wma"; }
ref() { timed ffmpeg -loglevel error -y -i "$speech" -c:a wmav2 -b:a 128k "$work/ff.wma"; }
pair ours ref
row "record to WMA a128" "ffmpeg -c:a wmav2 -b:a 128k"

# FLAC and Opus do the reference tools' encoder work: FLAC level 5 with its MD5, Opus at 96 kbit/s
# from 48 kHz input (Opus's own rate, where our rows capture), so that neither resamples.
speech48="$work/speech48.wav"
sox "$speech" -r 48000 "$speech48"
flac -s -5 -o "$work/input.flac" "$speech"
opusenc --quiet --bitrate 96 "$speech48" "$work/input.opus"
ours() { record "$speech" --encode flac --format 0 --out "$work/rec.flac"; }
ref() { timed flac -s -f -5 -o "$work/ref.flac" "$speech"; }
pair ours ref
row "record speech to FLAC (level 5)" "flac -5"
ours() { record "$speech48" --encode opus --format 8 --out "$work/rec.opus"; }
ref() { timed opusenc --quiet --bitrate 96 "$speech48" "$work/ref.opus"; }
pair ours ref
row "record speech (48 kHz) to Opus 96 kbit/s" "opusenc --bitrate 96"

for kind in mp3 wma flac opus; do
  ours() { DRAVIK_AUDIO="virtual:pace=fast,out=null" timed "$cli" play "$work/input.$kind"; }
  ref() { timed ffmpeg -loglevel error -i "$work/input.$kind" -f null -; }
  pair ours ref
  row "play $kind to the null output" "ffmpeg -f null -"
done

vox_seconds=$((seconds / 5))
t=$(DRAVIK_AUDIO="virtual:in=bursts,pace=fast" DRAVIK_CLI_STATS=1 timed "$cli" record \
  --seconds "$vox_seconds" --vox on --auto-save serial --temp-folder "$work/temp" \
  --save-folder "$work/vox")
blocks=$(sed -n 's/^stats: .*recorded from \([0-9]*\),.*/\1/p' "$work/last.err")
written=$(sed -n 's/^stats: .*written \([0-9.]*\) s.*/\1/p' "$work/last.err")
files=$(ls "$work/vox" | wc -l)
dropped=$(echo "scale=1; 100 - 100 * $written / ($blocks * 0.04)" | bc -l)
echo "| VOX on bursts: ${vox_seconds} s of sound kept in $files files, ${dropped} % of the input dropped as silence | $(fmt "${t% *}") | | | | |"

# The engine's own cost while it only meters: a 30-s monitor beside one that ends at once, paired;
# the difference over the 29.9 s between them is the share of one core, start-up left out.
monitor_seconds=30
ours() { DRAVIK_AUDIO="virtual:in=tone,pace=realtime" timed "$cli" monitor --seconds "$monitor_seconds"; }
ref() { DRAVIK_AUDIO="virtual:in=tone,pace=realtime" timed "$cli" monitor --seconds 0.1; }
pair ours ref
share=$(awk -v a="$ours_cpu" -v b="$ref_cpu" -v s="$monitor_seconds" \
  'BEGIN { printf "%.2f", 100 * (a - b) / (s - 0.1) }')
# How often its threads wake (voluntary context switches), the steadier figure on a virtual machine.
DRAVIK_AUDIO="virtual:in=tone,pace=realtime" /usr/bin/time -f '%w' -o "$work/time" "$cli" monitor \
  --seconds 10 >/dev/null 2>&1
wakes=$(awk '{ printf "%.0f", $1 / 10 }' "$work/time")
echo "| monitoring in real time (device open, meters running, nothing recorded) | CPU ${share} % of one core after start-up (start-up $(fmt "$ref_cpu") s of CPU), ${wakes} thread wake-ups a second | | | | |"

echo "| capture thread per 40-ms block while recording MP3 in fast pace | mean ${mp3_mean} us, largest ${mp3_largest} us | | | | |"
rm -rf "$work/temp" "$work/save"
# The peak resident size of a run goes to $work/rss (kB).
DRAVIK_AUDIO="virtual:in=$speech,pace=realtime" DRAVIK_CLI_STATS=1 /usr/bin/time -f '%M' \
  -o "$work/rss" "$cli" record --seconds "$realtime_seconds" --encode mp3 --format 10 \
  --vox off --temp-folder "$work/temp" --save-folder "$work/save" --out "$work/rec.mp3" \
  >/dev/null 2>"$work/last.err"
plain_rss=$(cat "$work/rss")
echo "| capture thread per 40-ms block while recording MP3 in real time (${realtime_seconds} s) | mean $(stat_of mean) us, largest $(stat_of largest) us, peak resident ${plain_rss} kB | | | | |"
# The same with voice operation on the speech's pauses and the longest pre-roll (2 s): the ring
# costs the capture thread one copy of each block the gate drops, and it is the only memory added.
rm -rf "$work/temp" "$work/save"
DRAVIK_AUDIO="virtual:in=$speech,pace=realtime" DRAVIK_CLI_STATS=1 /usr/bin/time -f '%M' \
  -o "$work/rss" "$cli" record --seconds "$realtime_seconds" --encode mp3 --format 10 \
  --vox on --tolerance 0.2 --pre-roll 2 --temp-folder "$work/temp" --save-folder "$work/save" \
  --out "$work/rec.mp3" >/dev/null 2>"$work/last.err"
ring=$(sed -n 's/^stats: .*pre-roll ring \([0-9]*\) bytes.*/\1/p' "$work/last.err")
echo "| the same with VOX and a 2-s pre-roll | mean $(stat_of mean) us, largest $(stat_of largest) us, peak resident $(cat "$work/rss") kB (+$(($(cat "$work/rss") - plain_rss)) kB; the ring is $((ring / 1024)) kB) | | | | |"

# What FLAC costs beyond WAV at the pace of the sound: the same real-time recording in each, paired;
# the CPU difference over the recording's length is the share of one core.
rt() { # ENCODING
  rm -rf "$work/temp"
  DRAVIK_AUDIO="virtual:in=$speech,pace=realtime" timed "$cli" record --seconds "$realtime_seconds" \
    --encode "$1" --format 0 --temp-folder "$work/temp" --save-folder "$work/save" \
    --out "$work/rt.$1"
  rm -f "$work/rt.$1"
}
ours() { rt flac; }
ref() { rt wav; }
pair ours ref
flac_share=$(awk -v a="$ours_cpu" -v b="$ref_cpu" -v s="$realtime_seconds" \
  'BEGIN { printf "%.2f", 100 * (a - b) / s }')
echo "| recording FLAC in real time beside WAV (${realtime_seconds} s) | ${flac_share} % of one core more (CPU $(fmt "$ours_cpu") s beside $(fmt "$ref_cpu") s) | | | | |"

# Timed splits onto a save folder on another file system, where every finished part is copied:
# at the pace of the sound, so that the capture thread runs at its real-time priority and the
# figure is its own work. /dev/shm is a file system of its own on most Linux machines.
if [ -d /dev/shm ] && [ "$(stat -c %d /dev/shm)" != "$(stat -c %d "$work")" ]; then
  other_fs=$(mktemp -d /dev/shm/dravik-bench.XXXXXX)
  rm -rf "$work/temp"
  split=$((realtime_seconds / 4))
  DRAVIK_AUDIO="virtual:in=$speech,pace=realtime" DRAVIK_CLI_STATS=1 timed "$cli" record \
    --seconds "$realtime_seconds" --encode wav --format 0 --auto-save time --split "$split" \
    --temp-folder "$work/temp" --save-folder "$other_fs" >/dev/null
  parts=$(ls "$other_fs" | wc -l)
  echo "| capture thread per block while recording WAV in real time (${realtime_seconds} s) with a timed split every $split s, $parts parts saved onto another file system | mean $(stat_of mean) us, largest $(stat_of largest) us | | | | |"
fi
