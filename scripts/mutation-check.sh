#!/usr/bin/env bash
# Mutation check: plants one fault at a time in the source, rebuilds, runs the
# tests and counts the faults the suite catches (some test fails). A fault
# that does not compile is left out of the score.
#
# Usage: scripts/mutation-check.sh [build dir] [mutations file]
#   build dir       an already configured CMake build tree (default: build)
#   mutations file  one row a line, tab-separated: file, original text,
#                   replacement text; the file is relative to the repository
#                   root and the original text must occur in it exactly once.
#                   Blank lines and lines starting with '#' are skipped.
#                   (default: scripts/mutations.txt)
# Environment:
#   MUTATION_CTEST_ARGS  extra ctest arguments, e.g. "-R ^(ftp|remote)_tests\\."
#   MUTATION_TARGETS     build only these targets for each row, e.g.
#                        "ftp_tests remote_tests" (the whole tree is slow to link)
#
# The unchanged tree must build and pass first, or every fault would count as
# caught. Each mutated file is restored after its row, also on Ctrl-C. ctest
# stops at the first failure, so a caught row names only the first test(s)
# that failed; logs are kept in <build dir>/mutation-logs.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
list=$(realpath -m "${2:-$root/scripts/mutations.txt}")
export CI=true
read -r -a extra_ctest_args <<<"${MUTATION_CTEST_ARGS:-}"
read -r -a targets <<<"${MUTATION_TARGETS:-}"

[[ -f $build/CMakeCache.txt ]] || {
    echo "no configured build tree at $build" >&2
    exit 2
}
[[ -f $list ]] || {
    echo "no mutations file at $list" >&2
    exit 2
}
logs=$build/mutation-logs
mkdir -p "$logs"
backup=$(mktemp)

# The file under mutation, while a row is applied.
pending=""

restore() {
    if [[ -n $pending ]]; then
        # A plain copy gives the file a new time, so the next build sees it.
        cp "$backup" "$root/$pending"
        pending=""
    fi
}
trap 'restore; rm -f "$backup"' EXIT
trap 'echo "interrupted; restoring" >&2; restore; exit 130' INT TERM HUP

# Number of times $2 occurs in file $1, compared as plain text.
occurrences() {
    ORIGINAL=$2 perl -0777 -ne '
        my ($n, $at) = (0, 0);
        while (($at = index($_, $ENV{ORIGINAL}, $at)) >= 0) { $n++; $at += length $ENV{ORIGINAL}; }
        print $n;' "$1"
}

# Replaces the one occurrence of $2 in file $1 with $3, as plain text.
replace_once() {
    ORIGINAL=$2 REPLACEMENT=$3 perl -0777 -i -pe '
        my $at = index($_, $ENV{ORIGINAL});
        substr($_, $at, length $ENV{ORIGINAL}) = $ENV{REPLACEMENT} if $at >= 0;' "$1"
}

build_tree() {
    cmake --build "$build" ${targets[@]+--target "${targets[@]}"} >"$1" 2>&1
}

# Exit status of the suite; the names of the failed tests go to $2.
run_tests() {
    ctest --test-dir "$build" -j2 --timeout 120 --stop-on-failure "${extra_ctest_args[@]}" >"$1" 2>&1
    local status=$?
    # ctest lists them as "  12 - ftp_tests.Name (Failed)".
    sed -n '/The following tests FAILED:/,$p' "$1" | sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\).*/\1/p' \
        >"$2"
    return $status
}

echo "baseline: building and testing the unchanged tree"
if ! build_tree "$logs/baseline.build.log"; then
    echo "the unchanged tree does not build; see $logs/baseline.build.log" >&2
    exit 2
fi
if ! run_tests "$logs/baseline.test.log" "$logs/baseline.failed"; then
    echo "the unchanged tree fails its tests; see $logs/baseline.test.log" >&2
    exit 2
fi

results=()
caught=0
survived=0
not_compiled=0
bad_rows=0
declare -A file_caught file_scored
row=0
while IFS= read -r line || [[ -n $line ]]; do
    [[ -z ${line//[[:space:]]/} || $line == \#* ]] && continue
    row=$((row + 1))
    tabs=${line//[^$'\t']/}
    file=${line%%$'\t'*}
    rest=${line#*$'\t'}
    original=${rest%%$'\t'*}
    replacement=${rest#*$'\t'}
    if [[ ${#tabs} != 2 || -z $original ]]; then
        results+=("$(printf 'bad row      %02d %s (needs exactly three tab-separated fields)' "$row" "$line")")
        bad_rows=$((bad_rows + 1))
        continue
    fi
    label=$(printf '%02d %s: %s  ->  %s' "$row" "$file" "$original" "$replacement")
    if [[ ! -f $root/$file ]]; then
        results+=("bad row      $label (no such file)")
        bad_rows=$((bad_rows + 1))
        continue
    fi
    count=$(occurrences "$root/$file" "$original")
    if [[ $count != 1 ]]; then
        results+=("bad row      $label (original text occurs $count times)")
        bad_rows=$((bad_rows + 1))
        continue
    fi

    echo "[$row] $file: $original  ->  $replacement"
    cp "$root/$file" "$backup"
    pending=$file
    replace_once "$root/$file" "$original" "$replacement"
    base=$logs/$(printf '%02d' "$row")
    if ! build_tree "$base.build.log"; then
        outcome="not compiled"
        not_compiled=$((not_compiled + 1))
        detail=""
    else
        file_scored[$file]=$((${file_scored[$file]:-0} + 1))
        if run_tests "$base.test.log" "$base.failed"; then
            outcome="survived"
            survived=$((survived + 1))
            detail=""
        else
            outcome="caught"
            caught=$((caught + 1))
            file_caught[$file]=$((${file_caught[$file]:-0} + 1))
            failed=$(wc -l <"$base.failed")
            detail=" [$failed failed: $(head -n 3 "$base.failed" | paste -sd ' ')$( ((failed > 3)) && echo ' ...')]"
        fi
        if grep -q 'warning:' "$base.build.log"; then
            detail+=" (built with warnings)"
        fi
    fi
    restore
    echo "     $outcome$detail"
    results+=("$(printf '%-12s %s%s' "$outcome" "$label" "$detail")")
done <"$list"

echo "rebuilding the restored tree"
build_tree "$logs/restored.build.log" || echo "the restored tree does not build; see $logs/restored.build.log" >&2

echo
echo "=== mutation results ($(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown))"
printf '%s\n' "${results[@]}"
echo
for file in $(printf '%s\n' "${!file_scored[@]}" | sort); do
    echo "$file: caught ${file_caught[$file]:-0} of ${file_scored[$file]}"
done
echo "caught $caught of $((caught + survived)) (survived $survived, not compiled $not_compiled, bad rows $bad_rows)"
((bad_rows == 0))
