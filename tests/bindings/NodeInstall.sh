#!/usr/bin/env bash
# Packs the npm package and installs it as a user does, with its koffi from the npm registry
# and Express for its example, into a project folder of the build tree.
#
# usage: NodeInstall.sh NPM PACKAGE PROJECT
set -euo pipefail
npm=$1 package=$2 project=$3

rm -rf "$project"
mkdir -p "$project"
cd "$project"
echo '{"name": "quillax-tests", "private": true}' >package.json
tarball=$("$npm" pack --silent --pack-destination "$project" "$package" | tail -n 1)
"$npm" install --no-audit --no-fund --prefer-offline "./$tarball" express@4
test -f node_modules/quillax/index.d.ts
