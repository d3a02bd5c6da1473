#!/usr/bin/env python3
"""Writes velan.csts, a small corpus of Velan, an invented language.

Velan has nouns, adjectives and determiners that agree in gender, number and
case, verbs that agree in number with their subject, prepositions that govern
a case, and several homographs, so that a form alone does not decide its tag.
Every token carries its lemma, its true tag and the candidate lemmas and tags
of a "morphological analyser" (here: every analysis of the form that the
grammar allows), in the SGML layout the tagger reads.

Tags have four positions: part of speech, gender, number, case.
The corpus is deterministic: the same script always writes the same files.
With --conllu PREFIX the same sentences are also written as CoNLL-U, one file
per document (PREFIX-train.conllu, PREFIX-heldout.conllu, PREFIX-test.conllu):
the tag is the XPOS column, UPOS and FEATS say the same in UD's terms, and
every word depends on the verb. CoNLL-U carries no analyser candidates.
Usage: python3 make_corpus.py [--conllu PREFIX] > velan.csts
"""
import random
import sys

rng = random.Random(20261206)

CASES = ["1", "4", "6"]  # nominative, accusative, locative
NUMS = ["S", "P"]

NOUN_END = {
    "M": {"S1": "", "S4": "", "S6": "e", "P1": "y", "P4": "y", "P6": "ech"},
    "F": {"S1": "a", "S4": "u", "S6": "e", "P1": "y", "P4": "y", "P6": "ach"},
}
DET = {
    "M": {"S1": "ten", "S4": "ten", "S6": "tom", "P1": "ty", "P4": "ty", "P6": "tech"},
    "F": {"S1": "ta", "S4": "tu", "S6": "te", "P1": "ty", "P4": "ty", "P6": "tech"},
}
ADJ_END = {
    "M": {"S1": "y", "S4": "y", "S6": "em", "P1": "e", "P4": "e", "P6": "ych"},
    "F": {"S1": "a", "S4": "ou", "S6": "e", "P1": "e", "P4": "e", "P6": "ych"},
}
# Masculine stems end so that the bare stem is the lemma; feminine lemmas end in -a.
NOUNS = {"M": ["dom", "les", "vlak", "stol", "kras", "pil", "hrad", "most"],
         "F": ["ryb", "kniz", "cest", "pil", "vod", "hor", "lod", "zen"]}
ADJS = ["velk", "mal", "nov", "star", "kras", "dobr"]
VERBS = ["vid", "nos", "hled", "pil", "dom", "lov"]  # some stems shared with nouns
PREPS = {"v": ["6"], "na": ["4", "6"], "pro": ["4"]}


def noun(g, stem, num, case):
    form = stem + NOUN_END[g][num + case]
    lemma = stem + ("" if g == "M" else "a")
    return form, lemma, "N" + g + num + case


def det(g, num, case):
    return DET[g][num + case], "ten", "D" + g + num + case


def adj(g, stem, num, case):
    return stem + ADJ_END[g][num + case], stem + "y", "A" + g + num + case


def verb(stem, num):
    return stem + ("e" if num == "S" else "aji"), stem + "at", "V-" + num + "-"


# The analyser: every analysis the grammar allows for a (lower-cased) form.
LEXICON = {}


def add(form, lemma, tag):
    LEXICON.setdefault(form, [])
    if (lemma, tag) not in LEXICON[form]:
        LEXICON[form].append((lemma, tag))


for g, stems in NOUNS.items():
    for s in stems:
        for num in NUMS:
            for c in CASES:
                add(*noun(g, s, num, c))
for g in DET:
    for num in NUMS:
        for c in CASES:
            add(*det(g, num, c))
for s in ADJS:
    for g in ADJ_END:
        for num in NUMS:
            for c in CASES:
                add(*adj(g, s, num, c))
for s in VERBS:
    for num in NUMS:
        add(*verb(s, num))
for p, cases in PREPS.items():
    for c in cases:
        add(p, p, "R--" + c)
add("a", "a", "J---")
add(".", ".", "Z---")
add(",", ",", "Z---")


def noun_phrase(case, num=None):
    g = rng.choice("MF")
    num = num or rng.choice(NUMS)
    words = []
    if rng.random() < 0.7:
        words.append(det(g, num, case))
    if rng.random() < 0.5:
        words.append(adj(g, rng.choice(ADJS), num, case))
    words.append(noun(g, rng.choice(NOUNS[g]), num, case))
    return words, num


def sentence():
    subj, num = noun_phrase("1")
    words = subj + [verb(rng.choice(VERBS), num)]
    obj, _ = noun_phrase("4")
    words += obj
    if rng.random() < 0.6:
        p = rng.choice(list(PREPS))
        pc = rng.choice(PREPS[p])
        pp, _ = noun_phrase(pc)
        words += [(p, p, "R--" + pc)] + pp
    if rng.random() < 0.3:
        words.append(("a", "a", "J---"))
        obj2, _ = noun_phrase("4")
        words += obj2
    words.append((".", ".", "Z---"))
    return words


def token(form, lemma, tag, capital):
    shown = form.capitalize() if capital else form
    kind = "d" if tag.startswith("Z") else "f"
    parts = ["<%s>%s<l>%s<t>%s" % (kind, shown, lemma, tag)]
    last = None
    for l, t in LEXICON[form]:
        if l != last:
            parts.append("<MMl>%s" % l)
            last = l
        parts.append("<MMt>%s" % t)
    return "".join(parts)


UPOS = {"N": "NOUN", "A": "ADJ", "D": "DET", "V": "VERB", "R": "ADP", "J": "CCONJ",
        "Z": "PUNCT"}
FEATS = {"G": {"M": "Gender=Masc", "F": "Gender=Fem"},
         "N": {"S": "Number=Sing", "P": "Number=Plur"},
         "C": {"1": "Case=Nom", "4": "Case=Acc", "6": "Case=Loc"}}


def conllu_sentence(sid, words):
    """One sentence as CoNLL-U lines; every word depends on the verb."""
    shown = [form.capitalize() if i == 0 else form for i, (form, _, _) in enumerate(words)]
    verb_id = next(i for i, (_, _, tag) in enumerate(words) if tag[0] == "V") + 1
    lines = ["# sent_id = s%d" % sid, "# text = " + " ".join(shown[:-1]) + shown[-1]]
    for i, (form, lemma, tag) in enumerate(words):
        feats = [FEATS["C"][tag[3]]] if tag[3] in FEATS["C"] else []
        feats += [FEATS["G"][tag[1]]] if tag[1] in FEATS["G"] else []
        feats += [FEATS["N"][tag[2]]] if tag[2] in FEATS["N"] else []
        head, rel = (0, "root") if i + 1 == verb_id else (verb_id, "dep")
        misc = "SpaceAfter=No" if i + 2 == len(words) else "_"
        lines.append("\t".join([str(i + 1), shown[i], lemma, UPOS[tag[0]], tag,
                                "|".join(sorted(feats)) or "_", str(head), rel, "_", misc]))
    return "\n".join(lines) + "\n\n"


def main():
    prefix = sys.argv[2] if len(sys.argv) == 3 and sys.argv[1] == "--conllu" else None
    print("<csts lang=velan>")
    sid = 0
    # Documents: training, heldout and test segments, in this order.
    for doc, count in (("train", 400), ("heldout", 60), ("test", 60)):
        print('<doc id="%s">' % doc)
        conllu = []
        for _ in range(count):
            sid += 1
            print('<s id="s%d">' % sid)
            words = sentence()
            for i, (form, lemma, tag) in enumerate(words):
                print(token(form, lemma, tag, i == 0))
            conllu.append(conllu_sentence(sid, words))
        print("</doc>")
        if prefix:
            with open("%s-%s.conllu" % (prefix, doc), "w", newline="\n") as f:
                f.write("".join(conllu))
    print("</csts>")


if __name__ == "__main__":
    main()
