# The model and input of the tagging benchmarks, sourced by them after they
# have set BIN, MODEL, CORPUS and TMP.

# Trains a model into TMP with the corpus's training arguments when MODEL is
# empty (a minute or two), and points MODEL at it.
train_model_if_none() {
    if [ -z "$MODEL" ]; then
        MODEL=$TMP/cs-ud.model
        echo "training $MODEL ..."
        "$BIN" "$CORPUS/cs-ud-train.args" "Features=$MODEL" > /dev/null 2> "$TMP/train.err"
    fi
}

# dev_tokens: the tokens of one copy of the dev file.
dev_tokens() { grep -c '^<[fd][ >]' "$CORPUS/cs-ud-dev.csts"; }

# repeat_dev N FILE: N copies of the dev file, one after another, into FILE.
repeat_dev() {
    i=0
    while [ $i -lt "$1" ]; do cat "$CORPUS/cs-ud-dev.csts"; i=$((i + 1)); done > "$2"
}
