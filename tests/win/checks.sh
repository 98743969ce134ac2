# Shared by the shell tests of the Windows builds, sourced after `set -eu`:
# checks that are counted, not fatal, and small helpers.
failures=0
check() {  # WHAT CONDITION...: prints ok or FAILED, counting the failures
    what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
quietly() { "$@" >/dev/null; }
win() { printf 'Z:%s' "$1" | tr / '\\'; }                   # PATH on Wine's Z: drive
u() { od -An -tu"$1" -j "$2" -N "$1" "$3" | tr -d ' '; }    # SIZE OFFSET FILE: a number in FILE
