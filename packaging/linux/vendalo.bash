# bash completion for vendalo: subcommands, their verbs and options, read once
# per shell from `vendalo --help` so that they never drift from the program.
_vendalo_aide()
{
    [[ -n ${_vendalo_aide_lue-} ]] && return
    _vendalo_aide_lue=1
    _vendalo_sous=() ; declare -gA _vendalo_verbes=() _vendalo_options=()
    local ligne sous reste partie mot
    while IFS= read -r ligne; do
        [[ $ligne == "  vendalo "* ]] || continue
        [[ $ligne == "  vendalo  "* ]] && continue   # the bare command, then its description
        ligne=${ligne#  vendalo }
        sous=${ligne%% *}
        reste=${ligne#"$sous"}
        _vendalo_sous+=("$sous")
        # "cles definir|effacer NOM", "cloud etat | connecter EMAIL | …": the verb opens each alternative.
        IFS='|' read -ra parties <<<"$reste"
        for partie in "${parties[@]}"; do
            read -r mot _ <<<"$partie"
            [[ $mot == "$sous" ]] && read -r _ mot _ <<<"$partie"
            [[ $mot =~ ^[a-z][a-z-]*$ ]] && _vendalo_verbes[$sous]+=" $mot"
        done
        for mot in $reste; do
            mot=${mot//[\[\]]/}
            [[ $mot == --* ]] && _vendalo_options[$sous]+=" ${mot%%=*}"
        done
    done < <(command vendalo --help 2>/dev/null)
}

_vendalo()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    _vendalo_aide
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "${_vendalo_sous[*]}" -- "$cur")
        return
    fi
    local sous=${COMP_WORDS[1]}
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${_vendalo_options[$sous]-}" -- "$cur")
    elif ((COMP_CWORD == 2)) && [[ -n ${_vendalo_verbes[$sous]-} ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${_vendalo_verbes[$sous]}" -- "$cur")
    else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}
complete -F _vendalo vendalo
