#!/bin/sh
# Ctrl-C in the console while the Windows lockbox writes an archive: the run
# ends with the status of an interrupted program, and neither the archive nor
# any temporary file is left. Run under Wine on a terminal (script(1)), where
# the console turns the keystroke into the event.
#
#   tool_interrupt.sh WINDOWS_LOCKBOX RUNNER...
set -eu
export LC_ALL=C.UTF-8
win_tool=$1
shift
runner="$*"
work=$(mktemp -d "${TMPDIR:-/tmp}/lockbox-interrupt.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
win() { printf 'Z:%s' "$1" | tr / '\\'; }

# 64 MiB of text at the slowest level: several seconds of work.
mkdir in out
python3 -c 'import random
r = random.Random(1)
words = ["".join(r.choice("abcdefghij") for _ in range(r.randint(2, 9))) for _ in range(5000)]
for i in range(16):
    open("in/f%02d.txt" % i, "w").write(" ".join(r.choice(words) for _ in range(700000)))'

mkfifo keys
script -q -e -c "$runner '$win_tool' create -q --no-password -l 12 -o '$(win "$work/out/a.exe")' \
    '$(win "$work/in")'" /dev/null < keys > console.txt 2>&1 &
pid=$!
exec 3> keys
# Ctrl-C once the archive is being written.
tries=0
while [ -z "$(ls out)" ] && [ "$tries" -lt 600 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
printf '\003' >&3
set +e
wait "$pid"
rc=$?
set -e
exec 3>&-

failures=0
# STATUS_CONTROL_C_EXIT (0xC000013A); Wine hands on its low byte.
if [ "$rc" = 58 ]; then echo "ok: interrupted run ends with STATUS_CONTROL_C_EXIT"
else echo "FAILED: interrupted run ends with $rc"; failures=$((failures + 1)); fi
if [ -z "$(ls out)" ]; then echo "ok: nothing left in the output folder"
else echo "FAILED: left behind: $(ls out)"; failures=$((failures + 1)); fi
exit "$failures"
