#!/bin/sh
# Builds vexta with GCC's profile-guided optimisation into build-pgo/ (or the
# directory given): an instrumented build, a profiling run on the bundled
# Velan example (training, testing, and tagging with one and two threads),
# then the final build from the records of that run. Tagged output and models
# are the same as those of an ordinary Release build; only the speed differs.
#
# Run from the project root:
#
#     bench/build_pgo.sh [build-directory]
set -eu

DIR=${1:-build-pgo}
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

echo "== profiling run on the Velan example"
BIN=$DIR/vexta
"$BIN" examples/velan-train.args "Features=$TMP/velan.model" > /dev/null 2> "$TMP/run.log"
"$BIN" examples/velan-test.args "Features=$TMP/velan.model" > /dev/null 2>> "$TMP/run.log"
for threads in 1 2; do
    "$BIN" examples/velan-tag.args "Features=$TMP/velan.model" "Threads=$threads" \
        > /dev/null 2>> "$TMP/run.log"
done

echo "== optimised build"
configure use
cmake --build "$DIR" -j2 --target vexta > "$TMP/build.log" || { cat "$TMP/build.log"; exit 1; }
echo "built $BIN"
