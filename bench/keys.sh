#!/usr/bin/env bash
# The key table: what one password guess costs on this machine (one core)
# for the plain MD5 chain, the stretched key with the default rounds and a
# 2^19-round SHA-256 chain as a reference, and what the stretch adds to the
# recipient's wait: the extractor under Wine on a one-file archive, from
# start to the file written, stretched against plain.
#
#   bench/keys.sh [REPORT]    prints the table; appends it to REPORT if given
#
# Builds as bench/run.sh does (bench/build.sh); BENCH_RUNS
# (default 5) runs per Wine case, median; BENCH_NO_WINE=1 skips them.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
RUNS="${BENCH_RUNS:-5}"
PW="bench-password-2024"
JOBS="$(nproc)"
log() { printf '%s\n' "$*" >&2; }

log "building the stub, the tool and key_cost"
. "$ROOT/bench/build.sh" key_cost
WORK=$(mktemp -d /dev/shm/lockbox-keys.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

log "cost of one guess (a few seconds each)"
"$HOST/key_cost" >"$WORK/cost.tsv"
cost() { awk -F'\t' -v k="$1" '$1 == k { print $2 }' "$WORK/cost.tsv"; }
plain=$(cost "plain MD5 chain") stretched=$(cost "PBKDF2-HMAC-SHA256") reference=$(cost "2^19 SHA-256 chain")

# median_wall COMMAND...: the median wall time of RUNS runs, in seconds.
median_wall() {
  local times=() i start
  for ((i = 0; i < RUNS; i++)); do
    rm -rf "$WORK/out" && mkdir -p "$WORK/out"
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    times+=("$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }')")
    [ -f "$WORK/out/file.txt" ] || { log "the extractor restored nothing: $*"; exit 1; }
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((RUNS + 1) / 2))p"
}

wait_plain="n/a" wait_stretched="n/a" added="n/a"
if [ "${BENCH_NO_WINE:-0}" != 1 ] && "$ROOT/scripts/runs-i386"; then
  log "the recipient's wait under Wine ($RUNS runs each)"
  mkdir -p "$WORK/in" && echo "one file" >"$WORK/in/file.txt"
  "$LOCKBOX" create -q -p "$PW" -o "$WORK/stretched.exe" "$WORK/in/file.txt"
  "$LOCKBOX" create -q -p "$PW" --key-stretch none -o "$WORK/plain.exe" "$WORK/in/file.txt" 2>/dev/null
  export WINEPREFIX="$WIN/wineprefix"
  [ -d "$WINEPREFIX" ] || "$ROOT/scripts/wine-run" wineboot -i >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
  wineserver -p
  "$ROOT/scripts/wine-run" cmd /c exit >/dev/null 2>&1 || true
  dest='Z:'"$(printf '%s' "$WORK/out" | tr / '\\')"'\'
  wait_plain=$(median_wall "$ROOT/scripts/wine-run" "$WORK/plain.exe" "$PW" "$dest")
  wait_stretched=$(median_wall "$ROOT/scripts/wine-run" "$WORK/stretched.exe" "$PW" "$dest")
  wineserver -k 2>/dev/null || true
  added=$(awk -v a="$wait_stretched" -v b="$wait_plain" 'BEGIN { printf "%.2f", a - b }')
fi

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", (b > 0 ? a / b : 0) }'; }
per() { awk -v s="$1" 'BEGIN { if (s < 0.001) printf "%.2f µs", s * 1e6; else printf "%.3f s", s }'; }
rate() { awk -v s="$1" 'BEGIN { printf "%.1f", 1 / s }'; }
table=$(
  echo "## Keys: one password guess, one core, and the recipient's wait"
  echo
  echo "| key | one guess | guesses per second |"
  echo "|---|---:|---:|"
  echo "| plain MD5 chain (--key-stretch none) | $(per "$plain") | $(rate "$plain") |"
  echo "| PBKDF2-HMAC-SHA256, default rounds | $(per "$stretched") | $(rate "$stretched") |"
  echo "| reference: 2^19-round SHA-256 chain | $(per "$reference") | $(rate "$reference") |"
  echo
  echo "| ratio | value | target |"
  echo "|---|---:|---:|"
  echo "| stretched / plain, cost per guess | $(ratio "$stretched" "$plain") | >= 100000 |"
  echo "| stretched / reference, cost per guess | $(awk -v a="$stretched" -v b="$reference" 'BEGIN { printf "%.2f", a / b }') | |"
  echo
  echo "Extractor under Wine, one-file archive, password to file written (median of $RUNS, s):" \
       "plain $wait_plain, stretched $wait_stretched; added wait $added s (target <= 1)."
)
printf '%s\n' "$table"
[ -z "${1:-}" ] || printf '\n%s\n' "$table" >>"$1"
