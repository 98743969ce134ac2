#!/bin/sh
# Installs the build in BUILD into a scratch DESTDIR with prefix /usr and
# checks that every file is in place and that the installed tool runs.
#   install_test.sh BUILD
set -eu
build=$1
root=$(mktemp -d "${TMPDIR:-/tmp}/lockbox-install.XXXXXX")
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
for f in bin/lockbox share/man/man1/lockbox.1 share/bash-completion/completions/lockbox \
         share/doc/lockbox/README.md share/doc/lockbox/SECURITY.md; do
    [ -f "$root/usr/$f" ] || { echo "missing: /usr/$f"; exit 1; }
done
"$root/usr/bin/lockbox" --version | grep -q '^lockbox ' || { echo "the installed lockbox does not run"; exit 1; }
bash -c ". '$root/usr/share/bash-completion/completions/lockbox'; complete -p lockbox" >/dev/null ||
    { echo "the completion does not load"; exit 1; }
echo "install tree: all files in place, lockbox runs"
