#!/bin/sh
# Tagging a large input: the shared corpus repeated to at least 700,000
# tokens, tagged with Threads = 1 and 2.
#
# Run from the project root after a Release build into build/:
#
#     bench/bench_tag_large.sh [path/to/vexta [path/to/model]]
#
# Without a model it trains one with ../shared/corpus/cs-ud-train.args
# (about a minute or two). Everything is written to a temporary directory.
# Prints per thread count: tokens per second (wall clock and CPU), the ratio
# of the tool's wall time to a sed pass over the same file, and peak memory
# (from /usr/bin/time -v). Timings are noisy when other jobs share the
# machine: repeat, and compare CPU seconds.
set -eu

BIN=${1:-./build/vexta}
MODEL=${2:-}
CORPUS=../shared/corpus
if [ ! -x "$BIN" ] || [ ! -f "$CORPUS/cs-ud-dev.csts" ] || [ ! -x /usr/bin/time ]; then
    echo "bench_tag_large: needs $BIN, $CORPUS and /usr/bin/time (run from the project root)" >&2
    exit 2
fi

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

. "$(dirname "$0")/tagging_input.sh"
train_model_if_none

# The corpus repeated until it has at least 700,000 tokens.
per=$(dev_tokens)
copies=$(( (700000 + per - 1) / per ))
repeat_dev $copies "$TMP/big.csts"
tokens=$((per * copies))
echo "input: $copies copies of cs-ud-dev.csts, $tokens tokens, $(($(wc -c < "$TMP/big.csts") / 1000000)) MB"

# seconds <time -v output> <field>: a figure of /usr/bin/time -v.
fig() { awk -F': ' -v k="$2" '
    index($0, k) { v = $2
                   if (k ~ /Elapsed/) { n = split(v, p, ":"); v = 0
                                        for (i = 1; i <= n; i++) v = v * 60 + p[i] }
                   print v }' "$1"; }

/usr/bin/time -v -o "$TMP/sed.time" sed 's/<MMt>/<MMt>/' "$TMP/big.csts" > "$TMP/sed.out"
sedwall=$(fig "$TMP/sed.time" "Elapsed (wall clock)")
echo "sed pass: $sedwall s"

for n in 1 2; do
    /usr/bin/time -v -o "$TMP/t$n.time" "$BIN" "$CORPUS/cs-ud-tag.args" "Features=$MODEL" \
        "InData=$TMP/big.csts" "Threads=$n" > "$TMP/t$n.out" 2> "$TMP/t$n.err"
    wall=$(fig "$TMP/t$n.time" "Elapsed (wall clock)")
    user=$(fig "$TMP/t$n.time" "User time")
    sys=$(fig "$TMP/t$n.time" "System time")
    rss=$(fig "$TMP/t$n.time" "Maximum resident set size")
    awk -v n="$n" -v t="$tokens" -v w="$wall" -v u="$user" -v s="$sys" -v r="$rss" -v sw="$sedwall" 'BEGIN {
        printf "Threads %d: %.2f s wall, %.0f tokens/s; %.2f s CPU, %.0f tokens/s per CPU second; %.1f x the sed pass; peak memory %d MB\n",
               n, w, t / w, u + s, t / (u + s), w / (sw > 0 ? sw : 0.01), r / 1024 }'
done
cmp -s "$TMP/t1.out" "$TMP/t2.out" && echo "outputs of Threads 1 and 2: identical" ||
    echo "outputs of Threads 1 and 2: DIFFERENT"
