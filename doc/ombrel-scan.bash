# bash completion for ombrel-scan; bash-completion loads it on first use.
# Self-contained: needs none of bash-completion's helper functions.
_ombrel_scan()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local options='-j --jobs --timeout --rescan --retry-failed --json --json-lines --cache --format --scanner --sandbox --memory-limit --allow-read --log -h --help --version'
    case $prev in
    -j|--jobs|--timeout|--memory-limit)
        return # a number: nothing to offer
        ;;
    --sandbox)
        mapfile -t COMPREPLY < <(compgen -W 'auto require off' -- "$cur")
        return
        ;;
    --format)
        mapfile -t COMPREPLY < <(compgen -W 'vst2 vst3 clap ladspa dssi lv2' -- "$cur")
        return
        ;;
    --allow-read)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
        ;;
    --cache|--scanner|--log)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    else
        # Plug-in files and the folders that hold them.
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur"; compgen -f -X '!*.so' -- "$cur")
    fi
}
complete -F _ombrel_scan ombrel-scan
