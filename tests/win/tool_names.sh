#!/bin/sh
# Names and depths under Wine: lockbox.exe packs trees with accented, Cyrillic and Greek names,
# spaces, '&' and paths over 300 characters, each in a code page that holds them; lists them (as
# UTF-8), tests them and restores them as deep. The extractor in that code page and the host
# lockbox agree; a name the code page cannot hold is refused by name, leaving nothing behind.
#
#   tool_names.sh WINDOWS_LOCKBOX HOST_LOCKBOX|"" RUNNER...
# RUNNER is the command that runs a Windows program (scripts/wine-run [--64]).
set -eu
# Wine names files on this side in the locale's character set.
export LC_ALL=C.UTF-8
. "$(dirname "$0")/checks.sh"
win_tool=$1
host_tool=$2
shift 2
runner="$*"
enter_work names
password="names test password"
l40=llllllllllllllllllllllllllllllllllllllll
deep="$work/$l40/$l40/$l40"          # the trees lie this deep...
tall="$l40/$l40/$l40/$l40"           # ...and hold files this much deeper

put() {  # FILE: a file holding its own name, its folders made first
    mkdir -p "$(dirname "$1")"
    printf '%s\n' "$1" > "$1"
}
mkdir -p "$deep" && cd "$deep"
put "west/Résumé/café.txt"
put "west/a & b/with spaces.txt"
put "west/$tall/Straße.txt"
put "east/Данные/отчёт.txt"
put "east/$tall/файл.txt"
put "greek/Ελληνικά/αρχείο.txt"
cp -r west west-plus
put "west-plus/Ελληνικά.txt"
# Fixed times: the host tool records the last write as the creation time,
# and Wine reports the earlier of the change and last write times as it.
find . -exec touch -d '2021-03-04 05:06:07' {} +

# The archive's data after the extractor image (the PE overlay), whichever extractor it has.
payload() {
    python3 -c 'import struct,sys
b = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", b, 60)[0]
count, optional = struct.unpack_from("<H", b, pe + 6)[0], struct.unpack_from("<H", b, pe + 20)[0]
end = max(sum(struct.unpack_from("<II", b, pe + 24 + optional + 40 * i + 16)) for i in range(count))
sys.stdout.buffer.write(b[end:])' "$1"
}

mkdir win host "$work/locales"
for tree in west:1252:en_US east:1251:ru_RU greek:1253:el_GR; do
    IFS=: read -r name codepage locale <<EOF
$tree
EOF
    archive="win/$name.exe"
    # A name in the tree's own script, taken by the title and the password too: the extractor
    # turns a password typed in its code page into the same key.
    shown=$(cd "$name" && find . -type f -name '*[! -~]*' | head -n 1 | sed 's|.*/||')
    title="$shown & co"
    password="pass $shown"
    # One salt for both tools: then the stretched keys, and the archives, agree.
    salt=00112233445566778899aabbccddeeff
    $runner "$win_tool" create -q -p "$password" --salt $salt --codepage "$codepage" --title "$title" \
        -o "$(win "$deep/$archive")" "$(win "$deep/$name")"
    check "$name: lockbox.exe packs it in code page $codepage" [ -f "$archive" ]
    if [ -n "$host_tool" ]; then
        "$host_tool" create -q -p "$password" --salt $salt --codepage "$codepage" --title "$title" \
            -o "host/$name.exe" "$name"
        payload "$archive" > win.payload
        payload "host/$name.exe" > host.payload
        check "$name: the host tool stores the same" cmp -s win.payload host.payload
        if [ "$(pe_magic "$archive")" = 267 ]; then
            check "$name: the host tool makes the same archive" cmp -s "$archive" "host/$name.exe"
        fi
    fi
    $runner "$win_tool" list -p "$password" "$(win "$deep/$archive")" > list.txt
    (cd "$name" && find . -type f) | while read -r file; do
        stored=$(printf '%s%s' "$name" "${file#.}" | tr / '\\')
        grep -qF "$stored" list.txt || echo "$stored"
    done > unlisted.txt
    check "$name: the listing shows every name" [ ! -s unlisted.txt ]
    check "$name: the listing shows the title" grep -qF "title:       $title" list.txt
    check "$name: lockbox.exe tests it" quietly $runner "$win_tool" test -p "$password" "$(win "$deep/$archive")"
    # On a terminal Wine gives the program a console: the names go through it.
    script -q -c "stty cols 400; $runner '$win_tool' list -p '$password' '$(win "$deep/$archive")'" /dev/null \
        > console.txt </dev/null
    check "$name: the console shows $shown" grep -qF "$shown" console.txt
    $runner "$win_tool" extract -q -p "$password" -o "$(win "$deep/$tall/out-$name")" "$(win "$deep/$archive")"
    check "$name: lockbox.exe restores it deeper still" diff -r "$name" "$tall/out-$name/$name"
    # Wine takes its ANSI code page from the locale, which must exist for its file names to stay
    # UTF-8 on this side: one of the test's own.
    localedef -i "$locale" -f UTF-8 "$work/locales/$locale.UTF-8"
    mkdir "$work/x-$name"
    status env LOCPATH="$work/locales" LC_ALL=$locale.UTF-8 $runner "./$archive" "$password" \
        "$(win "$work/x-$name")" >/dev/null 2>&1 </dev/null
    check "$name: the extractor in code page $codepage restores everything (exit 1)" [ "$rc" = 1 ]
    check "$name: the extractor's tree is the same" diff -r "$name" "$work/x-$name/$name"
done

before=$(ls -A)
status $runner "$win_tool" create -q -p "$password" -o "$(win "$deep/refused.exe")" "$(win "$deep/west-plus")" \
    2> refused.txt
check "a Greek name in code page 1252 is refused (exit 1)" [ "$rc" = 1 ]
check "the refusal names the file" grep -qF 'Ελληνικά.txt' refused.txt
rm refused.txt
check "the refusal leaves nothing behind" [ "$(ls -A)" = "$before" ]

finish "names and depths"
