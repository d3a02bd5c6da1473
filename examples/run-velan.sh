#!/bin/sh
# Trains a model on the Velan example corpus, reports its error rates on the
# Test segment and tags the whole corpus with it, then shows what happened.
#
# Run from the project root after building into build/:
#
#     examples/run-velan.sh
#
# Everything the tool writes goes to build/: the model (velan.model), the
# diagnostics of each run (velan-train.log, velan-test.log, velan-tag.log) and
# the tagged corpus (velan-tagged.csts).
set -eu

BIN=./build/vexta
if [ ! -x "$BIN" ] || [ ! -f examples/velan-train.args ]; then
    echo "run-velan: run from the project root after building into build/" >&2
    exit 2
fi

echo "== Training on the Train segment (examples/velan-train.args)"
"$BIN" examples/velan-train.args 2> build/velan-train.log
# Whole-tag error rates ("flat"): words in error in %, then lines in %.
grep -E '(init training|EOT: VTC heldout|final training) data error:.*flat' build/velan-train.log
echo "   model: build/velan.model, $(sed -n 's/^<Df>//p' build/velan.model) features"

echo
echo "== Error rates on the Test segment (examples/velan-test.args)"
"$BIN" examples/velan-test.args 2> build/velan-test.log
grep 'final test data error:' build/velan-test.log

echo
echo "== Tagging the whole corpus (examples/velan-tag.args)"
"$BIN" examples/velan-tag.args > build/velan-tagged.csts 2> build/velan-tag.log
echo "   tagged corpus: build/velan-tagged.csts; its first tokens:"
grep -m 4 '<MDt' build/velan-tagged.csts | sed 's/^/   /'

# Full-tag accuracy on the test document: the inserted <MDt> against <t>.
awk '
    /<doc id="test">/ { test = 1 }
    test && /<MDt/ {
        t = $0; sub(/.*<t>/, "", t); sub(/<.*/, "", t)
        m = $0; sub(/.*<MDt[^>]*>/, "", m); sub(/<.*/, "", m)
        n++; if (t == m) ok++
    }
    END { if (n) printf "   test document: %d of %d tokens tagged right (%.2f%%)\n", ok, n, 100 * ok / n }
' build/velan-tagged.csts
