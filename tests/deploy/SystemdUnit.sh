#!/usr/bin/env bash
# The systemd unit as installed: its ExecStart names the installed command, that command line
# (with the unit's own settings put in) serves and stops cleanly on SIGTERM, systemd accepts
# the unit, and its sandbox leaves open only what a network server needs. Skipped (77)
# without systemd-analyze.
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
passed=0 failed=0
check() { # check NAME COMMAND...: runs the command, counts and reports the outcome
    local name=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name"
        sed 's/^/    /' "$work/out"
    fi
}
expect_equal() { # expect_equal EXPECTED ACTUAL
    [ "$1" = "$2" ] || { echo "expected: $1"; echo "actual:   $2"; return 1; }
}

cmake --install "$build" --prefix "$work/prefix" --component Runtime >/dev/null
prefix=$work/prefix
unit=$prefix/$docdir/deploy/quillax@.service

# --- The installed command ---------------------------------------------------------------
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
read -r command _ <<<"$exec_start"
check "ExecStart names the installed command" expect_equal "$prefix/$bindir/quillax" "$command"

# The command line as systemd would run it for quillax@0 (port 0: any free one), with the
# unit's defaults for the variables it names.
setting() { sed -n "s/^Environment=$1=//p" "$unit"; }
serves_and_stops() {
    local line=$exec_start
    # The unit's own variable references, replaced as they are written.
    # shellcheck disable=SC2016
    local address='${QUILLAX_ADDRESS}' options='$QUILLAX_OPTIONS'
    line=${line//"$address"/$(setting QUILLAX_ADDRESS)}
    line=${line//"$options"/$(setting QUILLAX_OPTIONS)}
    line=${line//%i/0}
    # shellcheck disable=SC2086
    $line >"$work/serve.out" 2>"$work/serve.err" &
    server=$!
    for _ in $(seq 50); do
        grep -q '^Quillax listening on http://127.0.0.1:' "$work/serve.out" && break
        sleep 0.1
    done
    cat "$work/serve.out" "$work/serve.err"
    grep -q '^Quillax listening on http://127.0.0.1:' "$work/serve.out" || return 1
    # A stop is not a failure: Restart=on-failure leaves a stopped instance stopped.
    kill -TERM "$server"
    local status=0
    wait "$server" || status=$?
    server=
    expect_equal 0 "$status"
}
check "the unit's command line serves, then stops with status 0" serves_and_stops

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
# root, and logs through a local socket. Anything else systemd finds open fails the check.
open_by_need=(RootDirectory=/RootImage= 'RestrictAddressFamilies=~AF_UNIX'
    'RestrictAddressFamilies=~AF_(INET|INET6)' PrivateNetwork= IPAddressDeny= DeviceAllow=)
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

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
