# Shared by the shell tests of the Windows builds, sourced after `set -eu`:
# checks that are counted, not fatal, and small helpers.
failures=0
check() {  # WHAT CONDITION...: prints ok or FAILED, counting the failures
    what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
status() {  # COMMAND...: runs it, setting rc to its exit status
    set +e
    "$@"
    rc=$?
    set -e
}
enter_work() {  # NAME: moves into a new folder $work, removed on exit
    work=$(mktemp -d "${TMPDIR:-/tmp}/lockbox-$1.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    cd "$work"
}
finish() {  # WHAT: the exit with the failure count, saying so when nothing failed
    [ "$failures" = 0 ] && echo "$1: all checks passed"
    exit "$failures"
}
quietly() { "$@" >/dev/null; }
win() { printf 'Z:%s' "$1" | tr / '\\'; }                   # PATH on Wine's Z: drive
u() { od -An -tu"$1" -j "$2" -N "$1" "$3" | tr -d ' '; }    # SIZE OFFSET FILE: a number in FILE
pe_magic() { u 2 $(( $(u 4 60 "$1") + 24 )) "$1"; }        # FILE: 267 PE32, 523 PE32+
