#!/bin/sh
# Tagging as a filter: the example corpus read from standard input and from
# its file, with 1, 2 and 4 threads, and cut into shards that GNU parallel
# tags in separate processes.
#
#     tag_pipe.sh <vexta> <source dir> <scratch dir>
#
# Exits 77 (skipped) when GNU parallel is not installed.
set -eu
BIN=$1
SRC=$2
TMP=$3
rm -rf "$TMP" && mkdir -p "$TMP"
cd "$SRC"

fail() {
    echo "tag_pipe: $*" >&2
    exit 1
}

# A model of the example language, trained as examples/run-velan.sh does.
"$BIN" examples/velan-train.args "Features=$TMP/velan.model" > /dev/null 2> "$TMP/train.log" ||
    fail "training failed: $(tail -3 "$TMP/train.log")"
tag() { # tag <out> <key=value>...: tags with the example's tag arguments
    out=$1
    shift
    "$BIN" examples/velan-tag.args "Features=$TMP/velan.model" "$@" > "$out" 2>> "$TMP/tag.log"
}

# One process, from the file and from standard input, on 1, 2 and 4 threads.
tag "$TMP/file.csts" Threads=1
for n in 1 2 4; do
    tag "$TMP/stdin$n.csts" InData=- Threads=$n < examples/velan.csts
    cmp "$TMP/file.csts" "$TMP/stdin$n.csts" || fail "standard input, $n threads: output differs"
done
grep -q '<MDt src="velan">' "$TMP/file.csts" || fail "nothing tagged"

# CoNLL-U of several windows, candidates and lemmas from the built-in
# analyser's lexicon: the same on 1, 2 and 4 threads.
"$BIN" examples/velan-common.args Mode=Lexicon "Lexicon=$TMP/velan.lex" > /dev/null 2>> "$TMP/tag.log" ||
    fail "lexicon failed"
for i in $(seq 60); do cat examples/velan-test.conllu; done > "$TMP/many.conllu"
for n in 1 2 4; do
    tag "$TMP/lex$n.conllu" "InData=$TMP/many.conllu" "Lexicon=$TMP/velan.lex" Candidates=lexicon \
        Threads=$n
    cmp "$TMP/lex1.conllu" "$TMP/lex$n.conllu" || fail "CoNLL-U, $n threads: output differs"
done

command -v parallel > /dev/null 2>&1 || exit 77

# Shards of about 20 kB cut before sentence starts, tagged by separate
# processes and joined in input order (-k).
parallel --will-cite -k --pipe --block 20k --regexp --recstart '<s[ >]' \
    "$BIN" examples/velan-tag.args "Features=$TMP/velan.model" InData=- \
    < examples/velan.csts > "$TMP/sharded.csts" 2>> "$TMP/tag.log" || fail "parallel failed"
shards=$(parallel --will-cite --pipe --block 20k --regexp --recstart '<s[ >]' echo \
    < examples/velan.csts | wc -l)
[ "$shards" -gt 3 ] || fail "only $shards shards"

# Apart from the tags chosen, the output is the input, line for line.
strip() { sed 's/<MD[lt] src="velan">[^<]*//g' "$1"; }
strip "$TMP/sharded.csts" | cmp - examples/velan.csts || fail "sharded output is not the input"
strip "$TMP/file.csts" | cmp - examples/velan.csts || fail "output is not the input"

# The chosen tags differ only near the cuts, where a shard's first sentence
# has no left context and its last one no right context beyond the sentence
# end: at most a few tokens per cut.
diffs=$(cmp -l "$TMP/file.csts" "$TMP/sharded.csts" 2>/dev/null | wc -l)
lines=$(diff "$TMP/file.csts" "$TMP/sharded.csts" | grep -c '^<' || true)
echo "tag_pipe: $shards shards, $lines of $(grep -c '^<[fd]' examples/velan.csts) token lines tagged differently"
[ "$lines" -le $((shards * 4)) ] || fail "$lines lines differ"
