#!/usr/bin/env bash
# The man page renders with man -l without warnings, has the sections a reader looks for, and
# documents what the built command offers: every command and option its help lists, every
# property and every symbology.
# usage: ManPage.sh PAGE QUILLAX
set -euo pipefail
page=$1 quillax=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
ok() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }

if MANWIDTH=200 man --warnings -l "$page" >"$work/text" 2>"$work/warnings"; then ok; else fail "man -l"; fi
if [ -s "$work/warnings" ]; then fail "warnings:"; cat "$work/warnings"; else ok; fi
shows() { grep -qF -- "$1" "$work/text"; }

for section in NAME SYNOPSIS DESCRIPTION COMMANDS PROPERTIES SYMBOLOGIES "BATCH INPUT" \
    "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
    if grep -qx "$section" "$work/text"; then ok; else fail "section $section"; fi
done

# Commands and their options, as the command's own help lists them.
commands=$("$quillax" --help | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$commands" ] || fail "no commands in quillax --help"
for command in $commands; do
    if shows "$command"; then ok; else fail "command $command"; fi
    for option in $("$quillax" "$command" --help | grep -oE '(^| |,)--?[a-z][a-z-]*' | tr -d ' ,' | sort -u); do
        if shows "$option"; then ok; else fail "option $option of $command"; fi
    done
done

# Properties with their defaults, and the symbology table, as the command prints them.
while read -r name _; do
    if shows "$name"; then ok; else fail "property $name"; fi
done < <("$quillax" render --help | sed -n '/^Properties/,/^$/p' | sed '1d;$d')
while IFS= read -r line; do
    number=$(echo "$line" | awk '{ print $1 }')
    name=$(echo "$line" | sed -E 's/^ *[0-9]+  //; s/  .*//')
    if grep -qE "^ +$number +$name  " "$work/text"; then ok; else fail "symbology $number $name"; fi
done < <("$quillax" symbologies | tail -n +2)

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
