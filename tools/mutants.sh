#!/usr/bin/env bash
# Mutation check: applies each realistic fault of tools/mutants.txt alone to a scratch copy of the
# tree, rebuilds, and runs the fast tests (ctest -LE "e2e|package"), then the e2e label for
# the faults the fast tests miss. Prints each mutant as killed or survived, then the totals; exits
# non-zero when a mutant survives, no longer applies (its text is not in the tree exactly once)
# or does not build. Slow (about half a minute a mutant): not part of CI.
# Usage: tools/mutants.sh [GREP-PATTERN]   (only the mutants whose line matches)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
list=$root/tools/mutants.txt
scratch=${RAVIK_MUTANTS_DIR:-/tmp/ravik-mutants}
pattern=${1:-}

source tools/deps.sh
ravik_install_deps

# A scratch copy of the tracked files as they are now (uncommitted edits included).
rm -rf "$scratch/src"
mkdir -p "$scratch/src"
git ls-files -z | xargs -0 cp --parents -t "$scratch/src"
# Unoptimised, with lld when there is one and the test lists read when ctest runs rather than
# after every link: each fault relinks most executables.
flags=(-DCMAKE_BUILD_TYPE=None -DRAVIK_BENCH=OFF -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST)
command -v ld.lld >/dev/null && flags+=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)
cmake -G Ninja -S "$scratch/src" -B "$scratch/build" "${flags[@]}" >/dev/null || exit 1
echo "== building the unmutated tree"
ninja -C "$scratch/build" -j"$(nproc)" >/dev/null || { echo "the unmutated tree does not build"; exit 1; }

run_tests() { # label selection → status of ctest
    (cd "$scratch/build" && ctest "$@" -j"$(nproc)" --timeout 120 --stop-on-failure \
        >"$scratch/last-ctest.log" 2>&1)
}
echo "== the unmutated tree passes"
run_tests -LE "e2e|package" && run_tests -L e2e -LE package ||
    { echo "the unmutated tree fails its tests: see $scratch/last-ctest.log"; exit 1; }

# Replaces OLD by NEW in FILE when OLD occurs exactly once; prints the count of occurrences.
apply() {
    perl -e 'my ($f, $o, $n) = @ARGV; local $/; open my $in, "<", $f or die "$f: $!";
             my $s = <$in>; close $in; my $c = () = $s =~ /\Q$o\E/g; print $c;
             exit 0 unless $c == 1; $s =~ s/\Q$o\E/$n/;
             open my $out, ">", $f or die; print $out $s; close $out' "$@"
}

killed_fast=0 killed_e2e=0 survived=0 broken=0 total=0
while IFS= read -r entry; do
    case "$entry" in '' | '#'*) continue ;; esac
    [ -n "$pattern" ] && ! grep -q -- "$pattern" <<<"$entry" && continue
    file=${entry%% | *}
    rest=${entry#* | }
    old=${rest%% | *}
    new=${rest#* | }
    total=$((total + 1))
    label="$file: '$old' -> '$new'"
    cp "$scratch/src/$file" "$scratch/original" 2>/dev/null || { echo "STALE     $label (no such file)"; broken=$((broken + 1)); continue; }
    count=$(apply "$scratch/src/$file" "$old" "$new")
    if [ "$count" != 1 ]; then
        echo "STALE     $label (found $count times)"
        broken=$((broken + 1))
        continue
    fi
    if ! ninja -C "$scratch/build" -j"$(nproc)" >"$scratch/last-build.log" 2>&1; then
        echo "NO BUILD  $label"
        broken=$((broken + 1))
    elif ! run_tests -LE "e2e|package"; then
        echo "killed    $label"
        killed_fast=$((killed_fast + 1))
    elif ! run_tests -L e2e -LE package; then
        echo "killed/e2e $label"
        killed_e2e=$((killed_e2e + 1))
    else
        echo "SURVIVED  $label"
        survived=$((survived + 1))
    fi
    cp "$scratch/original" "$scratch/src/$file"
done <"$list"
ninja -C "$scratch/build" >/dev/null 2>&1 # leave the scratch build unmutated

echo "== $total mutants: $((killed_fast + killed_e2e)) killed ($killed_fast by the fast tests," \
    "$killed_e2e only by e2e), $survived survived, $broken stale or not building"
[ "$survived" -eq 0 ] && [ "$broken" -eq 0 ]
