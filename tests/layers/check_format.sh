#!/usr/bin/env bash
# Every C++ file of the tree is as .clang-format lays it out. Other major
# versions of clang-format lay some constructs out differently, so the check
# runs with the one the style was settled with and skips (exit 77) with
# another.
# Usage: check_format.sh SOURCE_DIR
set -uo pipefail
src=$1
settled=14
command -v clang-format >/dev/null || { echo "SKIP: clang-format is not installed"; exit 77; }
major=$(clang-format --version | grep -o 'version [0-9]*' | grep -o '[0-9]*$')
[ "$major" = "$settled" ] || { echo "SKIP: clang-format $major is not $settled, which the style was settled with"; exit 77; }
cd "$src" || exit 1
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find analysis maps interaction window cli tests bench fuzz -name '*.cpp' -o -name '*.h')
fi
bad=()
for f in "${files[@]}"; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
    echo "not formatted (clang-format -i FILE): ${bad[*]}"
    exit 1
fi
echo "${#files[@]} files formatted"
