#!/bin/sh
# The built-in analyser on the real Czech corpus, without its candidates.
#
# Run from the project root after a Release build into build/:
#
#     bench/bench_analyser.sh [path/to/vexta]
#
# Builds a lexicon from the Train segment (Mode = Lexicon), trains with
# Candidates = lexicon (jackknifed training candidates), tags the whole
# corpus with Candidates = lexicon, and reports on the Test segment
# (document part2) through build/bench/bench_analyser: candidate recall
# (share of tokens whose true tag is among their candidates), mean
# candidates per token, known and unknown token counts, full-tag accuracy
# overall, on known and on unknown forms, and lemma accuracy. Everything is
# written to a temporary directory.
set -eu

BIN=${1:-./build/vexta}
STATS=./build/bench/bench_analyser
CORPUS=../shared/corpus
if [ ! -x "$BIN" ] || [ ! -x "$STATS" ] || [ ! -f "$CORPUS/cs-ud-train.args" ]; then
    echo "bench_analyser: needs $BIN, $STATS and $CORPUS (run from the project root)" >&2
    exit 2
fi

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
KEYS="Lexicon = $TMP/cs.lex
Candidates = lexicon
Features = $TMP/cs.model"
printf '#include %s/cs-ud-common.args\nMode = Lexicon\n%s\n' "$CORPUS" "$KEYS" > "$TMP/lex.args"
for mode in train tag; do
    printf '#include %s/cs-ud-%s.args\n%s\n' "$CORPUS" "$mode" "$KEYS" > "$TMP/$mode.args"
done

t0=$(date +%s.%N)
"$BIN" "$TMP/lex.args" 2> "$TMP/lex.err"
t1=$(date +%s.%N)
grep 'lexicon from' "$TMP/lex.err" | sed 's/^[^:]*: //'
echo "lexicon built in $(echo "$t1 - $t0" | bc) s wall"
"$BIN" "$TMP/train.args" > /dev/null 2> "$TMP/train.err"
t2=$(date +%s.%N)
echo "training: $(echo "$t2 - $t1" | bc) s wall"
grep -E 'jackknif|init training data error:.*flat|EOT: VTC heldout.*flat|final training data error:.*flat' \
    "$TMP/train.err" | sed 's/^[^:]*: //'
"$BIN" "$TMP/tag.args" > "$TMP/tagged.csts" 2> "$TMP/tag.err"
t3=$(date +%s.%N)
echo "tagging the whole corpus: $(echo "$t3 - $t2" | bc) s wall"
"$STATS" "$TMP/cs.lex" 15 "$TMP/tagged.csts" part2
