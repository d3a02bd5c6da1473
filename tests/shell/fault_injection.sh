#!/bin/sh
# Fault injection from the shell: runs the built tool against outputs that
# cannot be written, model files cut short, outputs that are inputs, links
# and signals. Every failing run must end with a non-zero status and a
# message naming the problem, and no good file may change.
#
#     tests/shell/fault_injection.sh build/vexta .     (CTest runs it this way)
set -u

BIN=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
ROOT=$(cd "$2" && pwd)
T=$(mktemp -d "${TMPDIR:-/tmp}/vexta_faults_XXXXXX")
trap 'rm -rf "$T"' EXIT
cd "$ROOT" || exit 2
FAILED=0

fail() {
    echo "FAIL: $*" >&2
    FAILED=1
}

# args FILE EXAMPLE [LINE...]: an argument file including examples/EXAMPLE.
args() {
    f=$T/$1
    ex=$2
    shift 2
    { echo "#include examples/$ex"; echo "Features = $T/good.model"; for l in "$@"; do echo "$l"; done; } >"$f"
    echo "$f"
}

# The good files: the trained model, a copy of the corpus and its links.
cp examples/velan.csts "$T/corpus.csts"
"$BIN" "$(args train.args velan-train.args)" >/dev/null 2>"$T/err" || { cat "$T/err"; exit 1; }
SUMS=$(cksum "$T/good.model" "$T/corpus.csts")

check_good() {
    [ "$(cksum "$T/good.model" "$T/corpus.csts")" = "$SUMS" ] || fail "$1: a good file changed"
}

# expect NAME PATTERN COMMAND...: the command fails with PATTERN on stderr.
expect() {
    name=$1
    pattern=$2
    shift 2
    if "$@" 2>"$T/err"; then
        fail "$name: status 0"
    elif ! grep -q -- "$pattern" "$T/err"; then
        fail "$name: no \"$pattern\" in: $(tail -n 3 "$T/err")"
    fi
    check_good "$name"
}

TAG=$(args tag.args velan-tag.args)
expect "stdout full" "(standard output): No space left on device" \
    sh -c "'$BIN' '$TAG' >/dev/full"
expect "stdout over the size limit" "(standard output): File too large" \
    sh -c "ulimit -f 8; '$BIN' '$TAG' >'$T/cut.out'"
expect "log full" "(/dev/full): No space left on device" \
    "$BIN" "$(args log.args velan-test.args 'LogFile = /dev/full')"
expect "input trace full" "(/dev/full): No space left on device" \
    "$BIN" "$(args trace.args velan-test.args 'InputAC = /dev/full')"
expect "pool full" "fsugg file (/dev/full): No space left on device" \
    "$BIN" "$(args pool.args velan-train.args "Features = $T/new.model" \
        'FeatureMode = GenerateOut' 'FeatureSugg = /dev/full')"

# Model files cut short: without the last line, and at 5,000 bytes.
sed '$d' "$T/good.model" >"$T/cut1.model"
head -c 5000 "$T/good.model" >"$T/cut2.model"
for cut in cut1 cut2; do
    for mode in test tag; do
        expect "$cut $mode" "model: file cut short" \
            "$BIN" "$(args cut.args "velan-$mode.args" "Features = $T/$cut.model")"
    done
done

# Outputs that cannot be created are found before the data is read.
expect "model in a missing directory" "Fatal(13011).*No such file or directory" \
    "$BIN" "$(args nodir.args velan-train.args 'Features = /nonexistent/dir/m.model')"
expect "model is a directory" "Fatal(13011).*Is a directory" \
    "$BIN" "$(args dir.args velan-train.args "Features = $T")"
grep -q pszDataLine "$T/err" && fail "model is a directory: data read first"

# Outputs that are inputs: a hard link and a symbolic link.
ln "$T/corpus.csts" "$T/hard.model"
ln -s "$T/good.model" "$T/link.log"
expect "model is the corpus" "is the same file as the input InData" \
    "$BIN" "$(args same1.args velan-train.args "InData = $T/corpus.csts" "Features = $T/hard.model")"
expect "log is the model" "is the same file as the input Features" \
    "$BIN" "$(args same2.args velan-test.args "LogFile = $T/link.log")"

# A model path that is a link keeps it; the model is created 0666 & ~umask.
mkdir "$T/real"
ln -s real/target.model "$T/link.model"
(umask 022 && "$BIN" "$(args link.args velan-train.args "Features = $T/link.model")" >/dev/null 2>&1) ||
    fail "training through a link"
[ -L "$T/link.model" ] || fail "the link was replaced"
[ "$(stat -c %a "$T/real/target.model")" = 644 ] || fail "mode of a new model"
[ "$(ls "$T/real")" = target.model ] || fail "a temporary file was left: $(ls "$T/real")"

# A run ended by SIGTERM leaves no temporary model behind.
"$BIN" "$(args term.args velan-train.args "Features = $T/real/term.model")" >/dev/null 2>&1 &
sleep 1
kill -TERM $! 2>/dev/null
wait $!
ls "$T/real" | grep -q tmp && fail "SIGTERM left a temporary model"

# A form of 300 bytes is tagged and copied through.
awk 'BEGIN { f = sprintf("%300s", ""); gsub(/ /, "x", f) }
     /<doc id="test">/ { t = 1 }
     t && !done && /^<f>/ { sub(/^<f>[^<]*/, "<f>" f); done = 1 }
     { print }' "$T/corpus.csts" >"$T/long.csts"
"$BIN" "$(args long.args velan-tag.args "InData = $T/long.csts")" >"$T/long.out" 2>"$T/err" ||
    fail "long form: $(tail -n 1 "$T/err")"
sed 's/<MD[lt][^>]*>[^<]*//g' "$T/long.out" | cmp -s - "$T/long.csts" || fail "long form not copied through"
check_good "end"

[ $FAILED = 0 ] && echo "fault injection: all cases passed"
exit $FAILED
