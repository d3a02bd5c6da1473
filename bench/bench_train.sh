#!/bin/sh
# Training, testing and tagging on the real Czech corpus.
#
# Run from the project root after a Release build into build/:
#
#     bench/bench_train.sh [path/to/vexta]
#
# Trains with ../shared/corpus/cs-ud-train.args (the model goes to a
# temporary directory, not into the project), reports the error rates of
# cs-ud-test.args, then tags the whole corpus with cs-ud-tag.args. Prints:
# training seconds (wall and CPU) and peak memory, the error-rate lines of
# training and testing, the full-tag accuracy of the tagged tokens of the
# Test segment (document part2: <MDt> against <t>), and tagging tokens per
# second. Memory and CPU figures come from /usr/bin/time -v when it is
# there, else from a small Python wrapper around getrusage.
set -eu

BIN=${1:-./build/vexta}
CORPUS=../shared/corpus
if [ ! -x "$BIN" ] || [ ! -f "$CORPUS/cs-ud-train.args" ]; then
    echo "bench_train: needs $BIN and $CORPUS (run from the project root)" >&2
    exit 2
fi

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# Argument files: the shared ones with the model moved into $TMP.
for mode in train test tag; do
    printf '#include %s/cs-ud-%s.args\nFeatures = %s/cs-ud.model\n' \
        "$CORPUS" "$mode" "$TMP" > "$TMP/$mode.args"
done

# run NAME ARGS OUT: runs the tool, standard output to OUT, diagnostics to
# $TMP/NAME.err, and the resource figures to $TMP/NAME.res as lines
# "wall <s>", "cpu <s>", "maxrss <KiB>".
run() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -v -o "$TMP/$1.time" "$BIN" "$2" > "$3" 2> "$TMP/$1.err"
        awk -F': ' '
            /Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0
                                        for (i = 1; i <= n; i++) s = s * 60 + p[i]
                                        print "wall", s }
            /User time/   { u = $2 }
            /System time/ { sy = $2 }
            /Maximum resident set size/ { print "maxrss", $2 }
            END { print "cpu", u + sy }' "$TMP/$1.time" > "$TMP/$1.res"
    else
        python3 - "$BIN" "$2" "$3" "$TMP/$1.err" > "$TMP/$1.res" <<'EOF'
import resource, subprocess, sys, time
t = time.time()
with open(sys.argv[3], "wb") as out, open(sys.argv[4], "wb") as err:
    rc = subprocess.call([sys.argv[1], sys.argv[2]], stdout=out, stderr=err)
wall = time.time() - t
ru = resource.getrusage(resource.RUSAGE_CHILDREN)
print("wall", wall)
print("cpu", ru.ru_utime + ru.ru_stime)
print("maxrss", ru.ru_maxrss)
sys.exit(rc)
EOF
    fi
}

fig() { awk -v k="$2" '$1 == k { print $2 }' "$TMP/$1.res"; }

echo "== training ($CORPUS/cs-ud-train.args)"
run train "$TMP/train.args" /dev/null
printf 'training: %.1f s wall, %.1f s CPU, peak memory %d MiB\n' \
    "$(fig train wall)" "$(fig train cpu)" "$(($(fig train maxrss) / 1024))"
grep -E 'init training data error:.*flat|<<i [0-9]+>>|EOT: |after lambda chg|final training data error:.*flat' \
    "$TMP/train.err" | sed 's/^[^:]*: //'

echo "== testing ($CORPUS/cs-ud-test.args)"
run test "$TMP/test.args" /dev/null
grep -E 'final test data error:' "$TMP/test.err" | sed 's/^[^:]*: //'

echo "== tagging ($CORPUS/cs-ud-tag.args)"
run tag "$TMP/tag.args" "$TMP/tagged.csts"
# Tokens are the <f> and <d> lines; the Test segment is document part2.
awk -v wall="$(fig tag wall)" -v cpu="$(fig tag cpu)" '
    function field(line, open,    s, i) {
        i = index(line, open)
        if (i == 0) return ""
        s = substr(line, i + length(open))
        i = index(s, "<")
        return i ? substr(s, 1, i - 1) : s
    }
    /<doc / { doc = ($0 ~ /id="?part2"?/) }
    /^<[fd][ >]/ {
        tokens++
        if (!doc) next
        test++
        if (field($0, "<MDt src=\"vexta\">") == field($0, "<t>")) right++
    }
    END {
        printf "Test segment: %d of %d tokens right: %.2f%% full-tag accuracy\n", right, test, 100 * right / test
        printf "tagging: %d tokens in %.1f s wall (%.0f tokens/s), %.1f s CPU (%.0f tokens/s)\n", tokens, wall, tokens / wall, cpu, tokens / cpu
    }' "$TMP/tagged.csts"
