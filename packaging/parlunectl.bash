# Bash completion for parlunectl: its commands, their options and the recording names.
_parlunectl()
{
    local cur prev words cword
    _init_completion || return

    local commands="list show tags rename delete protect unprotect join import send duration
        reindex play mixer record"
    local command="" folder="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --folder) folder=${words[i + 1]}; ((i++)) ;;
            -*) ;;
            *) command=${words[i]}; break ;;
        esac
    done

    case $prev in
        --folder)
            _filedir -d
            return
            ;;
        --input)
            _filedir wav
            return
            ;;
        --notes | --key | --from | --seconds | --threshold | --silence | --pre-roll)
            return
            ;;
    esac

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W '--folder --help' -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
        fi
        return
    fi

    local options=""
    case $command in
        list | show | tags) options="--json" ;;
        rename | join) options="--notes" ;;
        protect | unprotect) options="--key" ;;
        send) options="--no-notes" ;;
        play) options="--from --alternative" ;;
        record)
            options="--auto --input --seconds --threshold --silence --single-file --no-antibump
                --both-sides --on-microphone-open --pre-roll"
            ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    case $command in
        tags | duration | import | play) _filedir mp3 ;;
        reindex | mixer | record | list) ;;
        *)
            # Recording names, as list prints them: the first column of its lines.
            local names
            names=$(parlunectl ${folder:+--folder "$folder"} list 2>/dev/null | cut -f1)
            local IFS=$'\n'
            # Names hold spaces: let bash quote them as it quotes file names.
            compopt -o filenames
            mapfile -t COMPREPLY < <(compgen -W "$names" -- "$cur")
            ;;
    esac
} &&
    complete -F _parlunectl parlunectl
