#!/usr/bin/env bash
# Prints, one per line, what the bash completion offers for a tarvu-cli command line whose
# last word is being completed.
# usage: complete.sh COMPLETION_FILE WORD... (the first word is tarvu-cli)
set -u
completion=$1
shift
bash_completion=${TARVU_BASH_COMPLETION:-/usr/share/bash-completion/bash_completion}
exec bash -c '
    source "$1" >/dev/null 2>&1 || { echo "no bash-completion at $1" >&2; exit 3; }
    source "$2"
    shift 2
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    _tarvu_cli tarvu-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}"
' complete "$bash_completion" "$completion" "$@"
