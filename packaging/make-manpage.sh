#!/usr/bin/env bash
# Writes a man page made from a program's own --help text, so the two never tell different stories.
# make-manpage.sh PROGRAM "SHORT DESCRIPTION" OUTPUT.1.gz
# For veltrane-cli every command's page (veltrane-cli help COMMAND) follows under COMMANDS.
set -euo pipefail
program=$1
summary=$2
output=$3
name=$(basename "$program")

# Preformatted roff text: backslashes and dashes literal, no line read as a request.
roff() {
    sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
}
block() {
    echo ".nf"
    roff
    echo ".fi"
}

help=$("$program" --help)
version=$("$program" --version | awk '{print $2}')
[ -n "$help" ] && [ -n "$version" ] || { echo "make-manpage.sh: $program gave no --help or --version" >&2; exit 1; }

{
    printf '.TH %s 1 "" "Veltrane %s" "User Commands"\n' "$(tr '[:lower:]' '[:upper:]' <<<"$name" | roff)" "$version"
    echo ".SH NAME"
    printf '%s \\- %s\n' "$(roff <<<"$name")" "$(roff <<<"$summary")"
    echo ".SH SYNOPSIS"
    # The usage lines: from "Usage:" to the first empty line.
    sed -n '1,/^$/p' <<<"$help" | sed -e '/^$/d' -e 's/^Usage: //' -e 's/^       //' | block
    echo ".SH DESCRIPTION"
    sed '1,/^$/d' <<<"$help" | block
    if [ "$name" = veltrane-cli ]; then
        echo ".SH COMMANDS"
        commands=$(sed -n -e 's/^  \([a-z][a-z-]*\) | \([a-z][a-z-]*\).*/\1/p' -e t -e 's/^  \([a-z][a-z-]*\).*/\1/p' <<<"$help")
        for command in $commands; do
            echo ".SS $(roff <<<"$command")"
            "$program" help "$command" | block
        done
        echo ".SH SEE ALSO"
        echo "veltrane(1)"
    else
        echo ".SH SEE ALSO"
        echo "veltrane\\-cli(1)"
    fi
} | gzip -9n >"$output.tmp"
mv "$output.tmp" "$output"
