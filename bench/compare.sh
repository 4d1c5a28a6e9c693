#!/usr/bin/env bash
# Times rtf2html side by side with unrtf --html and pandoc -f rtf -t html on
# the same generated editor bodies, whole process, and prints the ratios,
# rtf2html's peak memory against the input size and its 10 MB / 1 MB time
# ratio, each by wall clock and by CPU time (user + system: on a shared,
# loaded machine the fairer figure). Installs nothing: a missing tool is
# reported and skipped.
#
# usage: bench/compare.sh [BUILD_DIR]   (default build/native; build it first)
#        RUNS=3 sets the runs per tool and file (the median is reported).
#        OTHERS="unrtf pandoc" names the tools timed beside it; OTHERS= times
#        rtf2html alone (pandoc takes minutes per file).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$here/build/native}/bin
runs=${RUNS:-3}
for tool in "$bin/rtf2html" "$bin/rtf_bench_body"; do
  [[ -x $tool ]] || { echo "missing $tool: build the native preset first" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "missing /usr/bin/time (Debian package 'time')" >&2; exit 1; }
others=()
for tool in ${OTHERS-unrtf pandoc}; do
  if command -v "$tool" >/dev/null; then others+=("$tool"); else echo "note: $tool is not installed; skipping it"; fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"  # unrtf writes the pictures it finds into the current folder
"$bin/rtf_bench_body" 1000000 0 > "$work/body-1MB.rtf"
"$bin/rtf_bench_body" 10000000 0 > "$work/body-10MB.rtf"
"$bin/rtf_bench_body" 10000000 5000000 > "$work/body-10MB+pict5MB.rtf"
# Written to disk before any timing, so that the system's writing back of the
# fresh files does not compete with the first runs.
sync

# run_once TOOL FILE -> "seconds cpu_seconds peak_kb": wall clock and CPU
# time (user + system) of the whole process, to the millisecond, as the
# shell's `time` measures them (from before the fork to after the wait; on a
# shared, loaded machine the wall clock mostly measures waiting for a core,
# CPU time does not), and the peak resident memory from /usr/bin/time, whose
# own start is the only other thing timed.
run_once() {
  local tool=$1 file=$2 cmd
  case $tool in
    rtf2html) cmd=("$bin/rtf2html" "$file") ;;
    unrtf) cmd=(unrtf --html "$file") ;;
    pandoc) cmd=(pandoc -f rtf -t html "$file") ;;
  esac
  local TIMEFORMAT='%3R %3U %3S' times wall user sys mem
  times=$({ time /usr/bin/time -f "%M" -o "$work/mem" "${cmd[@]}" > /dev/null 2> "$work/err"; } 2>&1) || true
  read -r wall user sys <<< "$times"
  read -r mem < "$work/mem"
  echo "$wall $(echo "$user + $sys" | bc -l) $mem"
}

# median TOOL FILE -> "seconds cpu_seconds peak_kb", each the median over $runs runs
median() {
  local times=() cpus=() mems=() k
  for ((k = 0; k < runs; k++)); do
    read -r t c m < <(run_once "$1" "$2")
    times+=("$t"); cpus+=("$c"); mems+=("$m")
  done
  local mid=$((runs / 2)) list
  for list in times cpus mems; do
    local -n values=$list
    printf '%s\n' "${values[@]}" | sort -g | sed -n "$((mid + 1))p"
  done | paste -sd' '
}

# ratio A B -> A / B, with B at least the 1 ms resolution of the timing
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (b < 0.001) b = 0.001; printf "%.6f\n", a / b }'
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); $runs runs each, medians, whole process"
printf '%-22s %-9s %10s %10s %10s %12s\n' file tool "wall s" "wall MB/s" "CPU s" "peak MB"
declare -A secs cpu
for file in body-1MB body-10MB body-10MB+pict5MB; do
  path="$work/$file.rtf"
  size=$(stat -c %s "$path")
  tools=(rtf2html)
  [[ $file == body-1MB ]] || tools+=(${others[@]+"${others[@]}"})
  for tool in "${tools[@]}"; do
    read -r t c m < <(median "$tool" "$path")
    secs[$file/$tool]=$t
    cpu[$file/$tool]=$c
    printf '%-22s %-9s %10.3f %10.1f %10.3f %12.1f\n' "$file" "$tool" "$t" "$(echo "$size / 1000000 / $t" | bc -l)" \
      "$c" "$(echo "$m / 1024" | bc -l)"
    if [[ $tool == rtf2html ]]; then
      printf '%-22s %-9s peak memory = %.2f x input size\n' "" "" "$(echo "$m * 1024 / $size" | bc -l)"
    fi
  done
done

echo
printf 'rtf2html 10 MB / 1 MB time: wall %.1f x, CPU %.1f x (linear would be 10 x)\n' \
  "$(ratio "${secs[body-10MB/rtf2html]}" "${secs[body-1MB/rtf2html]}")" \
  "$(ratio "${cpu[body-10MB/rtf2html]}" "${cpu[body-1MB/rtf2html]}")"
for file in body-10MB body-10MB+pict5MB; do
  for tool in ${others[@]+"${others[@]}"}; do
    printf '%-22s %s / rtf2html: wall clock %.1f x, CPU time %.1f x\n' "$file" "$tool" \
      "$(ratio "${secs[$file/$tool]}" "${secs[$file/rtf2html]}")" "$(ratio "${cpu[$file/$tool]}" "${cpu[$file/rtf2html]}")"
  done
done
