#!/usr/bin/env bash
# This tree's benchmarks beside an earlier revision's, in one run: both
# ondril-bench programs in turn, then both builds of Ondril on the comparison
# bench's stream at once, with the serial terminals.
#   bench/before_after.sh REV [compare.sh options, e.g. --runs 3]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
rev=${1:?usage: bench/before_after.sh REV [compare.sh options]}
shift
old=$(mktemp -d)
trap 'rm -rf "$old"' EXIT
git -C "$here" archive "$rev" | tar -x -C "$old"
# The earlier revision is measured by this tree's benchmark where that builds
# there (its receive box may live in another folder), so that figures new
# since then have a "before" too; else by its own.
mv "$old/bench" "$old/bench.own"
cp -r "$here/bench" "$old/bench"
[ -d "$old/src/receivebox" ] || sed -i 's#receivebox/#reception/#' "$old"/bench/*.cpp "$old"/bench/*.h
for tree in "$old" "$here"; do
    cmake -S "$tree" -B "$tree/build" >/dev/null
    if ! cmake --build "$tree/build" -j"$(nproc)" --target ondril ondril-bench >/dev/null 2>&1; then
        [ "$tree" = "$old" ] || exit 1
        echo "(this tree's benchmark does not build on $rev: its own is used)"
        rm -rf "$old/bench" "$old/build" && mv "$old/bench.own" "$old/bench"
        cmake -S "$tree" -B "$tree/build" >/dev/null
        cmake --build "$tree/build" -j"$(nproc)" --target ondril ondril-bench >/dev/null
    fi
done
echo "== ondril-bench of $rev"
"$old/build/ondril-bench" 2>/dev/null
echo "== ondril-bench of this tree"
"$here/build/ondril-bench" 2>/dev/null
echo "== side by side"
"$here/bench/compare.sh" --before "$old/build/ondril" "$@"
