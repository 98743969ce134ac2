#!/bin/sh
# The Windows lockbox in a Wine console on a terminal (script(1)): the prompt reads a non-ASCII
# password without echo, giving the key -p gives; Ctrl-C while an archive is written ends the run
# as an interrupted program and leaves neither the archive nor any temporary file.
#
#   tool_console.sh WINDOWS_LOCKBOX RUNNER...
set -eu
export LC_ALL=C.UTF-8
. "$(dirname "$0")/checks.sh"
win_tool=$1
shift
runner="$*"
enter_work console
within_a_minute() {  # CONDITION...: waits until it holds, a minute at most
    tries=0
    while ! "$@" && [ "$tries" -lt 600 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
}

# Typed at the prompt, twice.
secret="pässwörd wïth ümlauts"
mkdir small
echo hello > small/a.txt
mkfifo typed
script -q -e -c "$runner '$win_tool' create -q -o '$(win "$work/typed.exe")' '$(win "$work/small")'" \
    /dev/null < typed > prompt.txt 2>&1 &
pid=$!
exec 4> typed
# Keys typed before the console is set up would be echoed by the terminal.
within_a_minute grep -qF "Password:" prompt.txt
printf '%s\r' "$secret" >&4
within_a_minute grep -qF "Password again:" prompt.txt
printf '%s\r' "$secret" >&4
wait "$pid" || true
exec 4>&-
check "the prompt asks twice" [ "$(grep -c 'Password' prompt.txt)" = 2 ]
check "the typed password is not echoed" eval '! grep -qF "$secret" prompt.txt'
check "the typed password gives the key -p gives" \
    quietly $runner "$win_tool" test -p "$secret" "$(win "$work/typed.exe")"

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
within_a_minute eval '[ -n "$(ls out)" ]'
printf '\003' >&3
status wait "$pid"
exec 3>&-

# STATUS_CONTROL_C_EXIT (0xC000013A); Wine hands on its low byte.
check "Ctrl-C ends the run with STATUS_CONTROL_C_EXIT (got $rc)" [ "$rc" = 58 ]
check "Ctrl-C leaves nothing in the output folder: $(ls out)" [ -z "$(ls out)" ]
exit "$failures"
