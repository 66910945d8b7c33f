#!/usr/bin/env bash
# The systemd unit as installed: its ExecStart names the installed command; that command
# line, with the unit's own settings put in and run as a user that owns no file, serves and
# stops cleanly on SIGTERM without a complaint; its system-call filter lets through every
# call the host makes (seen with strace); systemd accepts the unit; and its sandbox leaves
# open only what a network server needs. Skipped (77) without systemd-analyze.
#
# usage: SystemdUnit.sh BUILD BINDIR MANDIR DOCDIR
set -euo pipefail
build=$1 bindir=$2 mandir=$3 docdir=$4

if ! command -v systemd-analyze >/dev/null; then
    echo "SKIPPED: systemd-analyze is not installed; the unit is not checked"
    exit 77
fi

work=$(mktemp -d)
server=
cleanup() {
    [ -n "$server" ] && kill -KILL "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=../support/Checks.sh
source "$(dirname "$0")/../support/Checks.sh"

cmake --install "$build" --prefix "$work/prefix" --component Runtime >/dev/null
prefix=$work/prefix
unit=$prefix/$docdir/deploy/quillax@.service

# --- The installed command ---------------------------------------------------------------
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
read -r command _ <<<"$exec_start"
check "ExecStart names the installed command" expect_equal "$prefix/$bindir/quillax" "$command"

# The command line as systemd would run it for quillax@0 (port 0: any free one), with the
# unit's defaults for the variables it names, answering a request of each kind; under strace
# where there is one, to see which system calls the host makes.
# An Environment= line's value, the assignment quoted or not.
setting() { sed -n "s/^Environment=\"\{0,1\}$1=\([^\"]*\)\"\{0,1\}\$/\1/p" "$unit"; }
tracer=()
mkdir -m 777 "$work/trace"
command -v strace >/dev/null && tracer=(strace -f -qq -o "$work/trace/calls")
# Run as root, the command runs as DynamicUser runs it: a user that owns no file and has no
# home, with only the environment systemd gives.
as_unit_user=()
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    chmod 755 "$work"
    as_unit_user=(setpriv --reuid=61999 --regid=61999 --clear-groups
        env -i HOME=/ PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8)
fi
serves_and_stops() {
    local line=$exec_start
    # The unit's own variable references, replaced as they are written.
    # shellcheck disable=SC2016
    local address='${QUILLAX_ADDRESS}' options='$QUILLAX_OPTIONS'
    line=${line//"$address"/$(setting QUILLAX_ADDRESS)}
    line=${line//"$options"/$(setting QUILLAX_OPTIONS)}
    line=${line//%i/0}
    # shellcheck disable=SC2086
    "${as_unit_user[@]}" "${tracer[@]}" $line >"$work/serve.out" 2>"$work/serve.err" &
    server=$!
    local url
    for _ in $(seq 300); do
        url=$(sed -n 's|^Quillax listening on \(http://127.0.0.1:[0-9]*/\)$|\1|p' "$work/serve.out")
        [ -n "$url" ] && break
        sleep 0.1
    done
    cat "$work/serve.out" "$work/serve.err"
    [ -n "$url" ] || return 1
    local target
    for target in '' healthz metrics 'barcode?Data=400638133393&Checksum=true&ImageTypeStr=PNG' \
        'barcode?Data=CODE39&BarcodeType=Code39&ShowText=true&ImageTypeStr=JPEG' \
        'barcode?Data=5901234123457&Orientation=90&ImageTypeStr=BMP'; do
        curl -sSf -o /dev/null "$url$target" || return 1
    done
    # A stop is not a failure: Restart=on-failure leaves a stopped instance stopped.
    local host=$server
    [ ${#tracer[@]} -gt 0 ] && host=$(pgrep -P "$server")
    kill -TERM "$host"
    [ -s "$work/serve.err" ] && { echo "it reported:"; cat "$work/serve.err"; return 1; }
    local status=0
    wait "$server" || status=$?
    server=
    expect_equal 0 "$status"
}
check "the unit's command line serves each kind of request, then stops with status 0" \
    serves_and_stops

# The filter's groups as the system calls in them.
calls_of() {
    systemd-analyze syscall-filter "$1" | tail -n +2 | while read -r word _; do
        case $word in
        '' | '#'*) ;;
        @*) calls_of "$word" ;;
        *) echo "$word" ;;
        esac
    done
}
# Every call the host made is one the unit's SystemCallFilter= lines let through.
filter_lets_through() {
    local allowed=() denied=() group
    while read -r value; do
        if [[ $value == '~'* ]]; then
            for group in ${value#\~}; do denied+=("$group"); done
        else
            for group in $value; do allowed+=("$group"); done
        fi
    done < <(sed -n 's/^SystemCallFilter=//p' "$unit")
    for group in "${allowed[@]}"; do calls_of "$group"; done | sort -u >"$work/allowed"
    # A call named on its own is let through even where a group denied it.
    for group in "${denied[@]}"; do calls_of "$group"; done | sort -u |
        comm -23 - <(printf '%s\n' "${allowed[@]}" | grep -v '^@' | sort -u) >"$work/denied"
    sed -n 's/^[0-9]* *\([a-z0-9_]*\)(.*/\1/p' "$work/trace/calls" | sort -u >"$work/made"
    echo "$(wc -l <"$work/made") calls made, $(wc -l <"$work/allowed") allowed"
    local refused
    refused=$(comm -23 "$work/made" "$work/allowed"; comm -12 "$work/made" "$work/denied")
    [ -z "$refused" ] || { echo "refused by the filter:"; echo "$refused"; return 1; }
}
if [ ${#tracer[@]} -gt 0 ]; then
    check "the unit's system-call filter lets through every call the host made" \
        filter_lets_through
else
    echo "note: strace is not installed; the system-call filter is not checked"
fi

# --- systemd's view of the unit ---------------------------------------------------------------
# verify also looks up the Documentation= page, here the installed one.
verify() {
    MANPATH=$prefix/$mandir systemd-analyze verify "$unit" >"$work/verify" 2>&1 || {
        cat "$work/verify"
        return 1
    }
    cat "$work/verify"
    ! grep -q 'quillax' "$work/verify"
}
check "systemd-analyze verify accepts the unit" verify

# What a network server cannot close: it serves IP on the host's network from the host's
# root, and logs through a local socket; its render threads lower their own priority (one
# call of @resources, setpriority, which cannot raise it without the dropped capability).
# Anything else systemd finds open fails the check.
open_by_need=(RootDirectory=/RootImage= 'RestrictAddressFamilies=~AF_UNIX'
    'RestrictAddressFamilies=~AF_(INET|INET6)' PrivateNetwork= IPAddressDeny= DeviceAllow=
    'SystemCallFilter=~@resources')
if systemd-analyze security --help 2>/dev/null | grep -q -- '--offline'; then
    sandbox() {
        local text open setting unneeded=0
        text=$(systemd-analyze security --offline=yes "$unit" 2>&1 || true)
        grep 'Overall exposure level' <<<"$text" || { echo "$text"; return 1; }
        open=$(sed -n 's/^✗ \([^ ]*\) .*/\1/p' <<<"$text")
        for setting in $open; do
            if [[ " ${open_by_need[*]} " != *" $setting "* ]]; then
                grep -F "✗ $setting " <<<"$text"
                unneeded=1
            fi
        done
        [ "$unneeded" -eq 0 ]
    }
    check "the sandbox leaves open only what serving needs" sandbox
else
    echo "note: systemd-analyze security has no --offline; the sandbox is not checked"
fi

checks_summary
