#!/bin/sh
# Training at two sizes and two thread counts on the real Czech corpus.
#
# Run from the project root after a Release build into build/:
#
#     bench/bench_train_scale.sh [path/to/vexta] [threads...]
#
# Trains with ../shared/corpus/cs-ud-train.args as it is (44,043 Train
# lines) and on a corpus whose Train segment (document part0) is repeated 4
# times (176,172 Train lines, the same Heldout and Test segments), built in a
# temporary directory; each with Threads 1 and 2 (or the thread counts
# given). For every run it prints wall and CPU seconds, peak memory, the
# features accepted, the Test-segment accuracy of the last report (tokens
# without a wrong "+" tag element, from "after lambda chg: VTC test"), and
# the checksum of the model after its first two lines (which name the model
# and the data file, here in a temporary directory); the checksum must be the
# same for every thread count of one size, and for a build of another
# version that trains the same model. The machine's other load makes wall
# times noisy: compare CPU seconds, or repeat.
set -eu

BIN=${1:-./build/vexta}
[ $# -gt 0 ] && shift
THREADS=${*:-1 2}
CORPUS=../shared/corpus
if [ ! -x "$BIN" ] || [ ! -f "$CORPUS/cs-ud-train.args" ]; then
    echo "bench_train_scale: needs $BIN and $CORPUS (run from the project root)" >&2
    exit 2
fi
if [ ! -x /usr/bin/time ]; then
    echo "bench_train_scale: needs /usr/bin/time (GNU time)" >&2
    exit 2
fi

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The Train document (lines 2..44046 of the SGML file) four times, then
# Heldout and Test as they are.
IN=$CORPUS/cs-ud-dev.csts
{
    sed -n 1p "$IN"
    for _ in 1 2 3 4; do sed -n '2,44046p' "$IN"; done
    sed -n '44047,$p' "$IN"
} > "$TMP/x4.csts"

# run SIZE THREADS EXTRA: one training run with its figures.
run() {
    name=$1-t$2
    {
        printf '#include %s/cs-ud-train.args\nThreads = %s\nFeatures = %s/%s.model\n' \
            "$CORPUS" "$2" "$TMP" "$name"
        printf '%b' "$3"
    } > "$TMP/$name.args"
    /usr/bin/time -v -o "$TMP/$name.time" "$BIN" "$TMP/$name.args" > /dev/null 2> "$TMP/$name.err"
    awk -F': ' -v name="$name" -v feat="$(grep -c '^<[0-9]*>: ' "$TMP/$name.err")" \
        -v test="$(grep 'after lambda chg: VTC test:' "$TMP/$name.err" | sed 's/.*(\([0-9]*\)\/\([0-9]*\):.*/\1 \2/')" \
        -v sum="$(sed 1,2d "$TMP/$name.model" | md5sum | cut -c1-12)" '
        /Elapsed \(wall clock\)/ { n = split($2, p, ":"); w = 0
                                    for (i = 1; i <= n; i++) w = w * 60 + p[i] }
        /User time/   { u = $2 }
        /System time/ { s = $2 }
        /Maximum resident set size/ { m = $2 }
        END { split(test, e, " ")
              printf "%-6s wall %6.1f s  cpu %6.1f s  peak %4d MiB  features %4d  Test accuracy %.2f%%  model %s\n",
                     name, w, u + s, m / 1024, feat, (e[2] > 0 ? 100 * (1 - e[1] / e[2]) : 0), sum }' "$TMP/$name.time"
}

for t in $THREADS; do run x1 "$t" ""; done
for t in $THREADS; do
    run x4 "$t" "InData = $TMP/x4.csts\nTrainLines = 176172\nHeldoutStart = 176172\nTestStart = 181742\n"
done
