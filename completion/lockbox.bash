# bash completion for lockbox: commands, each command's options, the values
# of --layout, --codepage, --overwrite, --open-folder and --key-stretch, and file names.
_lockbox() {
    local cur prev command i
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    command=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            create|list|test|extract|help) command=${COMP_WORDS[i]}; break ;;
        esac
    done

    case $prev in
        --layout) COMPREPLY=($(compgen -W "top bottom none" -- "$cur")); return ;;
        --codepage) COMPREPLY=($(compgen -W "1252 1250 1251 1253 1254 1255 1256 1257 1258 874 437 850" -- "$cur")); return ;;
        --overwrite) COMPREPLY=($(compgen -W "ask always never" -- "$cur")); return ;;
        --open-folder) COMPREPLY=($(compgen -W "normal maximized minimized" -- "$cur")); return ;;
        --key-stretch) COMPREPLY=($(compgen -W "pbkdf2 none" -- "$cur")); return ;;
        -o|--output)
            if [ "$command" = extract ]; then COMPREPLY=($(compgen -d -- "$cur")); else COMPREPLY=($(compgen -f -- "$cur")); fi
            return ;;
        --background|--icon|--stub|--password-file|--files-from|--sign-cert|--sign-key|--sign-pkcs12|--sign-password-file)
            COMPREPLY=($(compgen -f -- "$cur")); return ;;
        -p|--password|--title|--run-after|--description|--product|--company|--file-version|--exclude|--sign-timestamp|-l|--level|-j|--jobs|--key-rounds|--salt)
            return ;;
    esac

    local common="-h --help -p --password --password-file --no-password --codepage"
    local options
    case $command in
        '') COMPREPLY=($(compgen -W "create list test extract help --help --version" -- "$cur")); return ;;
        help) COMPREPLY=($(compgen -W "create list test extract" -- "$cur")); return ;;
        create) options="$common --key-stretch --key-rounds --salt -o --output --title --run-after --open-folder --background --layout --icon --stub
                 -l --level -j --jobs --files-from --exclude --description --product --company --file-version
                 --sign-cert --sign-key --sign-pkcs12 --sign-password-file --sign-timestamp -f --force -q --quiet" ;;
        list|test) options="$common --json" ;;
        extract) options="$common -o --output --overwrite -j --jobs -q --quiet --json" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _lockbox lockbox
