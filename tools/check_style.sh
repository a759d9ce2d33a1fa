#!/usr/bin/env bash
# The style check (./dev.sh test runs it before building; it also runs alone):
#   - shellcheck at warning level over every shell script: dev.sh, .ci/run and the *.sh files
#     under tools/, tests/ and bench/;
#   - clang-format (the tree's .clang-format) over every *.cpp, *.h and *.c under src/, tools/,
#     tests/, fuzz/ and bench/: a file it would change is named, `clang-format -i FILE` fixes it;
#   - no include in src/ climbs out of its folder with "../".
# Ends with status 1 when either finds anything, 0 when the tree is clean.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
for tool in shellcheck clang-format; do
    command -v "$tool" >/dev/null || { echo "style: $tool is not installed" >&2; exit 1; }
done

status=0
mapfile -t scripts < <(printf '%s\n' dev.sh .ci/run; find tools tests bench -name '*.sh' -type f | sort)
if ! shellcheck -S warning "${scripts[@]}"; then
    echo "style: shellcheck reports the findings above" >&2
    status=1
fi

mapfile -t sources < <(find src tools tests fuzz bench -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) |
                       sort)
unformatted=0
for f in "${sources[@]}"; do
    # One file at a time, so that the report names files rather than listing every changed line.
    if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
        echo "style: not formatted: $f" >&2
        unformatted=$((unformatted + 1))
    fi
done
if [ "$unformatted" -gt 0 ]; then
    echo "style: $unformatted of ${#sources[@]} source files differ from clang-format's output" >&2
    status=1
fi
# A folder sees only the layers it links (src/CMakeLists.txt); a path that climbs out of the file's
# own folder would reach around that.
if grep -rn --include='*.cpp' --include='*.h' '#include "\.\./' src; then
    echo "style: an include above climbs out of its folder; name the header by its layer" >&2
    status=1
fi
[ "$status" -eq 0 ] && echo "style: ${#scripts[@]} scripts and ${#sources[@]} source files are clean"
exit "$status"
