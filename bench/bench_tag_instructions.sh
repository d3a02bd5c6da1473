#!/bin/sh
# Instructions per token of tagging, counted rather than timed: where the
# machine's timings drift by more than a change is worth, the change's effect
# on the instructions can still be told apart. Tags the corpus's dev file
# twice and four times over (Threads = 1) under valgrind's cachegrind and
# prints each total and the instructions per token of the extra tokens, from
# which model loading and the first window's allocations drop out. With
# cg_diff and cg_annotate at hand it also prints the ten functions with the
# most of those instructions.
#
# Run from the project root after a Release build into build/:
#
#     bench/bench_tag_instructions.sh [path/to/vexta [path/to/model]]
#
# Without a model it trains one with ../shared/corpus/cs-ud-train.args
# (about a minute or two). Everything is written to a temporary directory;
# each run takes about ten seconds.
set -eu

BIN=${1:-./build/vexta}
MODEL=${2:-}
CORPUS=../shared/corpus
if [ ! -x "$BIN" ] || [ ! -f "$CORPUS/cs-ud-dev.csts" ] || ! command -v valgrind >/dev/null; then
    echo "bench_tag_instructions: needs $BIN, $CORPUS and valgrind (run from the project root)" >&2
    exit 2
fi

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

. "$(dirname "$0")/tagging_input.sh"
train_model_if_none

per=$(dev_tokens)
for n in 2 4; do
    repeat_dev $n "$TMP/dev$n.csts"
    valgrind --tool=cachegrind --cache-sim=no --cachegrind-out-file="$TMP/cg.$n" \
        "$BIN" "$CORPUS/cs-ud-tag.args" "Features=$MODEL" "InData=$TMP/dev$n.csts" Threads=1 \
        > /dev/null 2> "$TMP/err.$n"
done
ir() { sed -n 's/.*I *refs: *//p' "$TMP/err.$1" | tr -d ','; }
ir2=$(ir 2)
ir4=$(ir 4)
echo "tagging the dev file twice: $ir2 instructions, four times: $ir4 ($per tokens a copy)"
echo "instructions per token: $(((ir4 - ir2) / (2 * per)))"

if command -v cg_diff >/dev/null && command -v cg_annotate >/dev/null; then
    cg_diff "$TMP/cg.2" "$TMP/cg.4" > "$TMP/cg.diff" 2>/dev/null
    echo "per token, by function (file:function):"
    cg_annotate --show-percs=no "$TMP/cg.diff" 2>/dev/null | sed -n '/file:function/,$p' |
        sed -n '3,12p' |
        awk -v t=$((2 * per)) '{ n = $1; gsub(",", "", n); $1 = ""
                                 printf "%7.0f %s\n", n / t, substr($0, 2, 110) }'
fi
