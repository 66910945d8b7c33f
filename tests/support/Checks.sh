# Shared by the suite's shell tests (sourced after the test has made $work, its temporary
# folder): numbered checks that report a failure with the command's output, and a summary.
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
checks_summary() { # the last command of a test: its exit status says whether all passed
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
