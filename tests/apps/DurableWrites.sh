#!/usr/bin/env bash
# Images reach the disk before their names do, seen in the system calls (strace): every image
# is renamed from a temporary file that was synced after its last write, and its folder (and
# any folder made for it) is synced after the rename. `render -o` syncs its one file; `batch`
# syncs a whole group of temporaries at once, never one by one. Skipped (77) without strace.
#
# usage: DurableWrites.sh QUILLAX
set -euo pipefail
quillax=$1

if ! command -v strace >/dev/null; then
    echo "SKIPPED: strace is not installed; the order of writes is not checked"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=../support/Checks.sh
source "$(dirname "$0")/../support/Checks.sh"

# Runs the command under strace; its calls on files, one per line in the order they finished
# (a call split by another thread's is joined where it ended; a rename counts where it began).
traced() {
    strace -f -qq -y -o "$work/raw" \
        -e trace=openat,write,fdatasync,fsync,syncfs,rename,renameat,renameat2,mkdir,mkdirat "$@" \
        >"$work/stdout" 2>"$work/stderr"
    awk '
        / <unfinished \.\.\.>$/ {
            sub(/ <unfinished \.\.\.>$/, "")
            if ($2 ~ /^rename/) { print; started[$1] = 1 } else pending[$1] = $0
            next
        }
        /<\.\.\. [a-z0-9_]+ resumed>/ {
            if (started[$1]) { delete started[$1]; next }
            rest = $0; sub(/^.*resumed>/, "", rest); $0 = pending[$1] rest
        }
        { print }' "$work/raw" >"$work/calls"
}

# Summarises the traced calls as "renamed R unsynced U folders-unsynced F syncfs S
# fdatasync D": U renames of a file not synced since its last write, F folders whose last
# rename, or the making of a folder in them, was not followed by a sync of the folder.
durability() {
    awk '
        function fd_path(call) { # the path strace -y gives the first descriptor
            if (!match(call, /\(-?[0-9]+<[^>]*>/)) return ""
            s = substr(call, RSTART, RLENGTH); sub(/^\([0-9]+</, "", s); sub(/>$/, "", s)
            return s
        }
        function ok(line) { return line ~ /= 0$/ || line ~ /= 0</ }
        {
            call = $0; sub(/^[0-9]+ +/, "", call)
            name = call; sub(/\(.*/, "", name)
        }
        name == "write" { written[fd_path(call)] = NR }
        (name == "fdatasync" || name == "fsync") && ok(call) { synced[fd_path(call)] = NR }
        name == "fdatasync" { fdatasyncs++ }
        name == "syncfs" && ok(call) { syncfs++; everything = NR }
        name ~ /^rename/ {
            n = split(call, quoted, "\"")
            from = quoted[2]; to = quoted[4]
            renamed++
            last = (synced[from] > everything) ? synced[from] : everything
            if (!(from in written) || last < written[from]) unsynced++
            folder = to; sub(/\/[^\/]*$/, "", folder)
            renamedIn[folder] = NR
        }
        name ~ /^mkdir/ && ok(call) {
            split(call, quoted, "\"")
            folder = quoted[2]; sub(/\/[^\/]*\/?$/, "", folder)
            renamedIn[folder] = NR
        }
        END {
            for (folder in renamedIn) if (synced[folder] < renamedIn[folder]) foldersUnsynced++
            printf "renamed %d unsynced %d folders-unsynced %d syncfs %d fdatasync %d\n",
                renamed, unsynced, foldersUnsynced, syncfs, fdatasyncs
        }' "$work/calls"
}

mkdir "$work/render"
render_syncs_its_file_then_the_folder() {
    traced "$quillax" render Data=590123412345 Checksum=true ImageTypeStr=PNG \
        -o "$work/render/a.png"
    expect_equal "renamed 1 unsynced 0 folders-unsynced 0 syncfs 0 fdatasync 1" "$(durability)"
}
check "render -o syncs the image before its rename and the folder after it" \
    render_syncs_its_file_then_the_folder

# Twenty rows into folders the batch makes: a few syncs of the file system for all of them
# (one, or a few more on a slow machine where a group closes before the last row), none per
# image.
{
    echo "Data,Checksum,ImageTypeStr,file"
    for i in $(seq 10 29); do
        folder=a/; [ $((i % 2)) -eq 0 ] && folder=a/b/
        echo "5901234123$i,true,PNG,${folder}row$i.png"
    done
} >"$work/rows.csv"
batch_syncs_once_per_group() {
    traced "$quillax" batch -j 2 -o "$work/batch" "$work/rows.csv"
    local summary
    summary=$(durability)
    echo "$summary"
    read -r _ renamed _ unsynced _ folders _ syncfs _ fdatasync <<<"$summary"
    [ "$renamed" -eq 20 ] && [ "$unsynced" -eq 0 ] && [ "$folders" -eq 0 ] &&
        [ "$fdatasync" -eq 0 ] && [ "$syncfs" -ge 1 ] && [ "$syncfs" -le 5 ]
}
check "batch syncs its images in groups before their renames and the folders after them" \
    batch_syncs_once_per_group

checks_summary
