#!/usr/bin/env bash
# Posts a 5 MB and a 20 MB capture through the real KeloPublish.dll to the
# local blog over loopback, and sends the same prepared upload request with
# curl to the same server in the same run. Prints, for each size, the
# library's call (upload, newPost, getPost) against curl's upload as a
# ratio, and how much the posting process's working set grew during the
# call (its peak during the call less its size before).
#
#   scripts/with-wine bench/kelopublish_bench.sh [RUNS]
#
# Needs the windows build (kelopublish_bench.exe, KeloPublish.dll).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build/windows
RUNS=${1:-3}
work=$(mktemp -d)
blog_pid=""
cleanup() {
  [ -n "$blog_pid" ] && kill "$blog_pid" 2>/dev/null && wait "$blog_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

python3 "$ROOT/tools/localblog/localblog.py" --port 0 --data "$work/blog" --user bench --password bench-pass \
  --ready-file "$work/ready.json" >"$work/blog.log" 2>&1 &
blog_pid=$!
for _ in $(seq 1 100); do [ -s "$work/ready.json" ] && break; sleep 0.1; done
url=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["http"])' "$work/ready.json")
win() { echo "Z:$(echo "$1" | tr / '\\')"; }

printf '%-6s %-4s %10s %10s %7s %14s\n' size run library_s curl_s ratio ws_growth_MiB
for mb in 5 20; do
  capture=$work/capture-$mb.png
  { printf '\x89PNG\r\n\x1a\n'; head -c $((mb * 1024 * 1024 - 8)) /dev/urandom; } >"$capture"
  for run in $(seq 1 "$RUNS"); do
    out=$(wine "$BUILD/bin/kelopublish_bench.exe" "$(win "$BUILD/accessory/KeloPublish.dll")" "$url" bench bench-pass \
      "$(win "$capture")" "$(win "$work/upload-$mb.xml")" </dev/null 2>/dev/null | tr -d '\r')
    curl_s=$(curl -s -o /dev/null -w '%{time_total}' -H 'Content-Type: text/xml' \
      --data-binary @"$work/upload-$mb.xml" "${url}xmlrpc.php")
    python3 - "$mb" "$run" "$curl_s" "$out" <<'PY'
import json, sys
mb, run, curl_s, out = sys.argv[1], sys.argv[2], float(sys.argv[3]), json.loads(sys.argv[4])
assert out["result"] == 0, out
print("%-6s %-4s %10.3f %10.3f %7.2f %14.2f" % (mb + "MB", run, out["seconds"], curl_s,
      out["seconds"] / curl_s, out["workingSetGrowthMiB"]))
PY
  done
done
