#!/usr/bin/env bash
# Stress run of the lockbox tool (not part of CI): many entries, one very
# large compressible file, nesting up to the 260-byte name limit, and names
# with spaces, dots and cp1252 letters. Each case is created, tested and
# extracted, checked against its source, and timed with /usr/bin/time -v
# (elapsed time and peak resident memory of each step).
#
#   bench/stress.sh                 full sizes: 100000 entries, 5 GiB (5120 MiB) file
#   STRESS_ENTRIES=10000 STRESS_BIG_MIB=512 bench/stress.sh    a quick run
#
# Environment:
#   LOCKBOX       the tool (default: build/host/lockbox, else build/tool-host/lockbox)
#   STRESS_STUB   --stub for create (default: the tool's built-in stub, else
#                 the first build/*-win/lockbox-stub.exe found)
#   STRESS_DIR    working directory on a disk with room (default: a new
#                 directory under /var/tmp); removed at the end unless
#                 STRESS_KEEP=1
#   STRESS_JOBS   --jobs for create (default: the tool's default)
#   STRESS_CASES  which cases run (default: "many big deep names real")
#   STRESS_REAL   the real trees of the last case (default: "/usr/share/doc
#                 /usr/include"), packed with --skip-unstorable --follow-links
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
ENTRIES="${STRESS_ENTRIES:-100000}"
BIG_MIB="${STRESS_BIG_MIB:-5120}"
PW="stress-pw"
CASES=" ${STRESS_CASES:-many big deep names real} "
wanted() { case "$CASES" in *" $1 "*) return 0;; esac; return 1; }

LOCKBOX="${LOCKBOX:-}"
if [ -z "$LOCKBOX" ]; then
  for c in "$ROOT/build/host/lockbox" "$ROOT/build/tool-host/lockbox"; do
    [ -x "$c" ] && { LOCKBOX="$c"; break; }
  done
fi
[ -x "${LOCKBOX:-}" ] || { echo "stress: no lockbox tool (build it, or set LOCKBOX)" >&2; exit 1; }
STUB_ARGS=()
if [ -n "${STRESS_STUB:-}" ]; then
  STUB_ARGS=(--stub "$STRESS_STUB")
else
  stub=$(ls "$ROOT"/build/*-win/lockbox-stub.exe 2>/dev/null | head -1 || true)
  [ -n "$stub" ] && STUB_ARGS=(--stub "$stub")
fi
JOB_ARGS=()
[ -n "${STRESS_JOBS:-}" ] && JOB_ARGS=(--jobs "$STRESS_JOBS")
[ -x /usr/bin/time ] || { echo "stress: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

WORK="${STRESS_DIR:-$(mktemp -d /var/tmp/lockbox-stress.XXXXXX)}"
mkdir -p "$WORK"
cleanup() { [ "${STRESS_KEEP:-0}" = 1 ] || rm -rf "$WORK"; }
trap cleanup EXIT

# The big case needs the source, the extracted copy and some slack.
need_kib=$(( (2 * BIG_MIB + 2048) * 1024 ))
have_kib=$(df -Pk "$WORK" | awk 'NR==2 {print $4}')
if [ "$have_kib" -lt "$need_kib" ]; then
  echo "stress: $WORK has $((have_kib / 1024 / 1024)) GiB free, the ${BIG_MIB} MiB case needs about $((need_kib / 1024 / 1024)) GiB" >&2
  exit 1
fi

RESULTS="$WORK/results.txt"
: >"$RESULTS"

# timed CASE STEP COMMAND...: runs the command under /usr/bin/time -v and
# records elapsed seconds and peak RSS.
timed() {
  local name="$1" step="$2"; shift 2
  local log="$WORK/time-$name-$step.txt"
  if ! /usr/bin/time -v -o "$log" "$@" >"$WORK/out-$name-$step.txt" 2>&1; then
    echo "stress: $name/$step failed:" >&2
    tail -5 "$WORK/out-$name-$step.txt" >&2
    exit 1
  fi
  local wall rss
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$log")
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
  printf '%-10s %-8s %12s %10s MiB\n' "$name" "$step" "$wall" "$((rss / 1024))" | tee -a "$RESULTS"
}

# same_tree SRC OUT: every file and directory of SRC is in OUT with the same
# contents, and OUT holds nothing else. Names are stored in cp1252; the
# restored name may come back as UTF-8 or as the raw cp1252 bytes.
same_tree() {
  python3 - "$1" "$2" <<'PY'
import filecmp, os, sys
src, out = os.fsencode(sys.argv[1]), os.fsencode(sys.argv[2])
def cp1252(rel):
    try:
        return rel.decode("utf-8").encode("cp1252")
    except (UnicodeDecodeError, UnicodeEncodeError):
        return rel
seen, bad = set(), 0
for base, dirs, files in os.walk(src):
    for n in dirs + files:
        rel = os.path.relpath(os.path.join(base, n), src)
        cands = [rel, cp1252(rel)]
        hit = next((c for c in cands if os.path.lexists(os.path.join(out, c))), None)
        if hit is None:
            print("missing:", rel.decode(errors="replace")); bad += 1; continue
        seen.add(hit)
        a, b = os.path.join(base, n), os.path.join(out, hit)
        if os.path.isfile(a) and not filecmp.cmp(a, b, shallow=False):
            print("differs:", rel.decode(errors="replace")); bad += 1
for base, dirs, files in os.walk(out):
    for n in dirs + files:
        rel = os.path.relpath(os.path.join(base, n), out)
        if rel not in seen:
            print("extra:", rel.decode(errors="replace")); bad += 1
sys.exit(1 if bad else 0)
PY
}

# run_case NAME SRC: create, test, extract, compare.
run_case() {
  local name="$1" src="$2"
  local exe="$WORK/$name.exe" out="$WORK/$name-out"
  rm -rf "$out" "$exe"
  mkdir -p "$out"
  timed "$name" create "$LOCKBOX" create -q -o "$exe" -p "$PW" "${STUB_ARGS[@]}" "${JOB_ARGS[@]}" "$src"
  timed "$name" test "$LOCKBOX" test "$exe" -p "$PW"
  timed "$name" extract "$LOCKBOX" extract -q "$exe" -o "$out" -p "$PW" --overwrite never
  if ! same_tree "$src" "$out/$(basename "$src")" >"$WORK/diff-$name.txt" 2>&1; then
    echo "stress: $name: extracted tree differs from the source:" >&2
    head -5 "$WORK/diff-$name.txt" >&2
    exit 1
  fi
  printf '%-10s %-8s %12s %10s\n' "$name" "archive" "$(du -h "$exe" | cut -f1)" "" | tee -a "$RESULTS"
  rm -rf "$out" "$exe"
}

echo "stress: tool $LOCKBOX, work dir $WORK"
printf '%-10s %-8s %12s %14s\n' case step elapsed "peak RSS" | tee -a "$RESULTS"

# 1. Many entries: ENTRIES small files in directories of 1000.
if wanted many; then
python3 - "$WORK/many" "$ENTRIES" <<'PY'
import filecmp, os, sys
root, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    d = os.path.join(root, "d%03d" % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "f%06d.txt" % i), "w") as f:
        f.write("entry %d\n" % i * (1 + i % 7))
PY
run_case many "$WORK/many"
rm -rf "$WORK/many"
fi

# 2. One large compressible file, generated straight to disk.
if wanted big; then
mkdir -p "$WORK/big"
# (yes ends on SIGPIPE when head has enough: not a failure)
{ yes "lockbox stress line: the quick brown fox jumps over the lazy dog 0123456789" || true; } |
  head -c "$((BIG_MIB * 1024 * 1024))" >"$WORK/big/large.txt"
run_case big "$WORK/big"
rm -rf "$WORK/big"
fi

# 3. Nesting up to the name limit: the stored name of the deepest file is
# exactly 260 bytes ("deep\" + levels of "nNNNNNNN\" + the file name).
if wanted deep; then
python3 - "$WORK/deep" <<'PY'
import filecmp, os, sys
root = sys.argv[1]
name, level = "deep", 0
while len(name) + 10 + 10 <= 260:
    name += "\\n%07d" % level
    level += 1
leaf = "f" * (260 - len(name) - 1)
path = os.path.join(os.path.dirname(root), *name.split("\\"))
os.makedirs(path, exist_ok=True)
with open(os.path.join(path, leaf), "w") as f:
    f.write("at the bottom\n")
assert len(name) + 1 + len(leaf) == 260
PY
run_case deep "$WORK/deep"
rm -rf "$WORK/deep"
fi

# 4. Names with spaces, dots and cp1252 letters (UTF-8 on this side).
if wanted names; then
mkdir -p "$WORK/names/Ärger . mit Öl" "$WORK/names/crème brûlée"
for n in "café au lait.txt" "naïve.v1.2.tar" "€uro und £.txt" " leading space" "many...dots...x" "Ärger . mit Öl/größe ß.txt" "crème brûlée/½ ¼ ¾.txt"; do
  printf 'name: %s\n' "$n" >"$WORK/names/$n"
done
run_case names "$WORK/names"
rm -rf "$WORK/names"
fi

# 5. Real trees of this machine, links followed, what cannot be stored left
# out: the extracted tree must be the sources as their links lead, less
# exactly what create named.
if wanted real; then
  read -r -a real <<<"${STRESS_REAL:-/usr/share/doc /usr/include}"
  exe="$WORK/real.exe" out="$WORK/real-out"
  timed real create "$LOCKBOX" create -o "$exe" -p "$PW" --skip-unstorable --follow-links "${STUB_ARGS[@]}" \
    "${JOB_ARGS[@]}" "${real[@]}"
  timed real test "$LOCKBOX" test "$exe" -p "$PW"
  timed real extract "$LOCKBOX" extract -q "$exe" -o "$out" -p "$PW" --overwrite never
  grep -v '^lockbox: warning' "$WORK/out-real-create.txt" | tee -a "$RESULTS"
  python3 - "$out" "$WORK/out-real-create.txt" "${real[@]}" <<'PY' | tee -a "$RESULTS"
import collections, filecmp, os, re, sys
out, log, sources = sys.argv[1], sys.argv[2], sys.argv[3:]
left = {}
for line in open(log, encoding="utf-8", errors="replace"):
    m = re.match(r"lockbox: left out '(.*)': (.*)", line.rstrip("\n"))
    if m:
        left[m.group(1)] = re.sub(r"'[^']*'", "'...'", m.group(2))
entries, bad = 0, 0
def walk(src, dst):
    global entries, bad
    for n in sorted(os.listdir(src)):
        a, b = os.path.join(src, n), os.path.join(dst, n)
        if a in left or (os.path.islink(a) and not os.path.exists(a)):
            if os.path.lexists(b): print("stored though left out:", a); bad += 1
            continue
        entries += 1
        if not os.path.exists(b): print("missing:", a); bad += 1
        elif os.path.isdir(a): walk(a, b)
        elif os.path.isfile(a) and not filecmp.cmp(a, b, shallow=False): print("differs:", a); bad += 1
for s in sources:
    entries += 1
    walk(s, os.path.join(out, os.path.basename(s.rstrip("/"))))
print("real: %d entries compared, %d left out, %d problems" % (entries, len(left), bad))
for reason, count in collections.Counter(left.values()).most_common():
    print("real: left out %5d: %s" % (count, reason))
sys.exit(1 if bad else 0)
PY
  rm -rf "$out" "$exe"
fi

echo "stress: done; figures:"
cat "$RESULTS"
