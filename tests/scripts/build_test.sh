#!/bin/sh
# scripts/build against a stand-in cmake that only records its arguments:
# the job count is the caller's CMAKE_BUILD_PARALLEL_LEVEL when it is set,
# and one per processor otherwise.
#
#   build_test.sh SOURCE_DIR
set -u
top=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat > "$dir/cmake" <<'STANDIN'
#!/bin/sh
printf '%s\n' "$*" >> "$KUV_CMAKE_CALLS"
STANDIN
chmod +x "$dir/cmake"

failures=0
# expect WANTED [VAR=VALUE...] COMMAND...: the build call of one run, in an
# environment without the caller's CMAKE_BUILD_PARALLEL_LEVEL but with the
# assignments given.
expect() {
    wanted=$1
    shift
    rm -f "$dir/calls"
    env -u CMAKE_BUILD_PARALLEL_LEVEL KUV_CMAKE_CALLS="$dir/calls" PATH="$dir:$PATH" "$@" >/dev/null
    got=$(grep -- '^--build' "$dir/calls" 2>/dev/null)
    if [ "$got" != "$wanted" ]; then
        echo "FAIL: $*"
        echo "  wanted: $wanted"
        echo "  got:    $got"
        failures=$((failures + 1))
    fi
}

nproc=$(nproc)
build="$top/scripts/build"
expect "--build /b -j3" CMAKE_BUILD_PARALLEL_LEVEL=3 "$build" /b
expect "--build /b -j2 --target kuv kuv-sandbox" CMAKE_BUILD_PARALLEL_LEVEL=2 "$build" /b kuv kuv-sandbox
expect "--build /b -j$nproc" "$build" /b
expect "--build /b -j$nproc --target kuv" "$build" /b kuv
expect "--build /b -j$nproc" CMAKE_BUILD_PARALLEL_LEVEL= "$build" /b

[ "$failures" -eq 0 ] || exit 1
echo "scripts/build: all runs as expected"
