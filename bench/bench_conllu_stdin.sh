#!/bin/sh
# Tagging a large CoNLL-U file from standard input, against the same tokens
# as SGML, and peak memory against input size.
#
# Run from the project root after a Release build into build/:
#
#     bench/bench_conllu_stdin.sh [path/to/vexta] [model]
#
# Repeats ../shared/corpus/cs-ud-test.conllu (5,301 words) 95 times (503,595
# words) and 190 times into a temporary directory, and the Test document of
# cs-ud-dev.csts 95 times as SGML. Each is tagged with `InData = -` from
# standard input to /dev/null. Without a model file the model has the 15 tag
# elements and no features, so that the figures show reading, windowing and
# writing rather than the probability model; give a trained model (for
# example the one of bench/bench_train.sh) to see the tagger's own speed.
# The CoNLL-U file is also tagged with TagColumn = UPOS+FEATS, through a
# model without features that holds the layout of cs-ud-train.conllu.
# Prints tokens per second and peak memory of each run.
set -eu

BIN=${1:-./build/vexta}
MODEL=${2:-}
CORPUS=../shared/corpus
if [ ! -x "$BIN" ] || [ ! -f "$CORPUS/cs-ud-test.conllu" ]; then
    echo "bench_conllu_stdin: needs $BIN and $CORPUS (run from the project root)" >&2
    exit 2
fi

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

if [ -z "$MODEL" ]; then
    MODEL=$TMP/min.model
    {
        printf '<Dz>200000\n<Df>1\n<Da>1\n<Dc>15\n'
        t=0
        while [ $t -lt 15 ]; do printf '<st>%012d\n' $t; t=$((t + 1)); done
    } > "$MODEL"
fi

repeat() { # FILE COUNT OUT
    : > "$3"
    i=0
    while [ $i -lt "$2" ]; do cat "$1" >> "$3"; i=$((i + 1)); done
}
repeat "$CORPUS/cs-ud-test.conllu" 95 "$TMP/x95.conllu"
repeat "$CORPUS/cs-ud-test.conllu" 190 "$TMP/x190.conllu"
# The Test document of the SGML file, repeated inside one <csts>.
awk '/^<doc / { keep = ($0 ~ /id="?part2"?/) } keep { print } /^<\/doc>/ { keep = 0 }' \
    "$CORPUS/cs-ud-dev.csts" > "$TMP/part2.csts"
{
    echo '<csts lang=cs>'
    i=0
    while [ $i -lt 95 ]; do cat "$TMP/part2.csts"; i=$((i + 1)); done
    echo '</csts>'
} > "$TMP/x95.csts"

printf '#include %s/cs-ud-common.args\nCorpusDir = %s\nFeatures = %s\nMode = Tag\nInData = -\n' \
    "$CORPUS" "$CORPUS" "$MODEL" > "$TMP/tag.args"
cp "$TMP/tag.args" "$TMP/tag-conllu.args"
echo 'InputFormat = conllu' >> "$TMP/tag-conllu.args"

# run ARGS INPUT: tags INPUT from standard input; prints "<wall s> <CPU s>
# <peak KiB>".
run() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f '%e %U %S %M' -o "$TMP/time" "$BIN" "$1" < "$2" > /dev/null 2> "$TMP/err"
        awk '{ print $1, $2 + $3, $4 }' "$TMP/time"
    else
        python3 - "$BIN" "$1" "$2" "$TMP/err" <<'EOF'
import resource, subprocess, sys, time
t = time.time()
with open(sys.argv[3], "rb") as inp, open(sys.argv[4], "wb") as err:
    rc = subprocess.call([sys.argv[1], sys.argv[2]], stdin=inp, stdout=subprocess.DEVNULL, stderr=err)
ru = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.2f %.2f %d" % (time.time() - t, ru.ru_utime + ru.ru_stime, ru.ru_maxrss))
sys.exit(rc)
EOF
    fi
}

words() { awk -F'\t' 'NF == 10 && $1 ~ /^[0-9]+$/ { n++ } END { print n }' "$1"; }

report() { # LABEL ARGS INPUT TOKENS
    set -- "$1" "$2" "$3" "$4" $(run "$2" "$3")
    awk -v l="$1" -v n="$4" -v s="$5" -v c="$6" -v k="$7" 'BEGIN {
        printf "%-24s %8d tokens  %6.2f s wall %8.0f tokens/s  %6.2f s CPU %8.0f tokens/s  peak %5.1f MiB\n",
            l, n, s, n / s, c, n / c, k / 1024 }'
}

# Tags composed from UPOS and FEATS: a model without features whose header
# holds the layout of the Train file (UPOS, then the features by name
# without case, values coded in byte order).
LAYOUT_CODES=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789
awk -F'\t' 'NF == 10 && $1 ~ /^[0-9]+$/ {
        print " UPOS\t" $4
        if ($6 != "_") { n = split($6, it, "|"); for (i = 1; i <= n; i++) { j = index(it[i], "="); print substr(it[i], 1, j - 1) "\t" substr(it[i], j + 1) } }
    }' "$CORPUS/cs-ud-train.conllu" | LC_ALL=C sort -u | LC_ALL=C sort -s -f -t "$(printf '\t')" -k1,1 |
    awk -F'\t' -v codes="$LAYOUT_CODES" '
    $1 != last { name[++np] = $1; nv[np] = 0; last = $1 }
    { val[np, ++nv[np]] = $2 }
    END {
        printf "<Dn>layout UPOS+FEATS 1 %d all\n", np
        for (p = 1; p <= np; p++) {
            n = name[p]; sub(/^ /, "", n)
            printf "<Dn>layout-position %d %s\n", p - 1, n
            for (v = 1; v <= nv[p]; v++) printf "<Dn>layout-value %d %s %s\n", p - 1, substr(codes, v, 1), val[p, v]
        }
        printf "<Dz>200000\n<Df>1\n<Da>1\n<Dc>%d\n", np
        for (p = 0; p < np; p++) printf "<st>%012d\n", p
    }' > "$TMP/ud.model"
sed "s|^Features = .*|Features = $TMP/ud.model|" "$TMP/tag-conllu.args" > "$TMP/tag-ud.args"
echo 'TagColumn = UPOS+FEATS' >> "$TMP/tag-ud.args"

report "CoNLL-U x95 from stdin" "$TMP/tag-conllu.args" "$TMP/x95.conllu" "$(words "$TMP/x95.conllu")"
report "UPOS+FEATS x95 stdin" "$TMP/tag-ud.args" "$TMP/x95.conllu" "$(words "$TMP/x95.conllu")"
report "SGML x95 from stdin" "$TMP/tag.args" "$TMP/x95.csts" "$(grep -c '^<[fd]>' "$TMP/x95.csts")"
report "CoNLL-U x190 from stdin" "$TMP/tag-conllu.args" "$TMP/x190.conllu" "$(words "$TMP/x190.conllu")"
