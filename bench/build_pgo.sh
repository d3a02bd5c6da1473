#!/bin/sh
# Builds vexta with GCC's profile-guided optimisation into build-pgo/ (or the
# directory given): an instrumented build, a profiling run, then the final
# build from the records of that run. Tagged output and models are the same
# as those of an ordinary Release build; only the speed differs.
#
# The profiling run is the tool run given after the directory (an argument
# file and Key=Value words, as for vexta itself; its standard output is
# dropped), or else training, testing and tagging the bundled Velan example.
# A run like the ones the build is for gives the most: a profile of tagging
# Czech with 15-character tags speeds up tagging Czech more than one of the
# example's 4-character tags does.
#
# Run from the project root:
#
#     bench/build_pgo.sh [build-directory [argfile [Key=Value ...]]]
set -eu

DIR=${1:-build-pgo}
[ $# -gt 0 ] && shift
if [ ! -f examples/velan-train.args ] || [ ! -f CMakeLists.txt ]; then
    echo "build_pgo: run from the project root" >&2
    exit 2
fi

configure() {
    cmake -S . -B "$DIR" -DCMAKE_BUILD_TYPE=Release -DVEXTA_BUILD_TESTS=OFF \
        -DVEXTA_BUILD_BENCH=OFF "-DVEXTA_PGO=$1" > /dev/null
}

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

echo "== instrumented build ($DIR)"
configure generate
rm -rf "$DIR/pgo"
cmake --build "$DIR" -j2 --target vexta > "$TMP/build.log" || { cat "$TMP/build.log"; exit 1; }

BIN=$DIR/vexta
if [ $# -gt 0 ]; then
    echo "== profiling run: vexta $*"
    "$BIN" "$@" > /dev/null 2> "$TMP/run.log" || { cat "$TMP/run.log" >&2; exit 1; }
else
    echo "== profiling run on the Velan example"
    "$BIN" examples/velan-train.args "Features=$TMP/velan.model" > /dev/null 2> "$TMP/run.log"
    "$BIN" examples/velan-test.args "Features=$TMP/velan.model" > /dev/null 2>> "$TMP/run.log"
    for threads in 1 2; do
        "$BIN" examples/velan-tag.args "Features=$TMP/velan.model" "Threads=$threads" \
            > /dev/null 2>> "$TMP/run.log"
    done
fi

echo "== optimised build"
configure use
cmake --build "$DIR" -j2 --target vexta > "$TMP/build.log" || { cat "$TMP/build.log"; exit 1; }
echo "built $BIN"
