// The built-in analyser on small hand-made lexicons: lower-casing and
// shapes, lemma rules, known, lower-cased and unknown forms, the guesser's
// cut-off, dictionary merging, and the lexicon and dictionary files with
// their messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analyser/analyser.h"
#include "analyser/lexicon_file.h"
#include "analyser/text_shape.h"
#include "test_util.h"

namespace vexta {
namespace {

std::string Lower(std::string_view sz) {
    std::string szOut;
    AppendLower(sz, szOut);
    return szOut;
}

TEST(TextShape, LowerCasingCuttingAndShapes) {
    const std::pair<std::string_view, std::string_view> rgLower[] = {
        {"ČÁST PRVNÍ", "část první"},
        {"ŽLUŤOUČKÝ Kůň", "žluťoučký kůň"},
        {"ÆØÅ ÀÉÎ Ÿ İ", "æøå àéî ÿ i"},
        {"ΑΘΗΝΑ Ά Ώ", "αθηνα ά ώ"},
        {"МОСКВА Ёж Ї", "москва ёж ї"},
        {"a\xff"
         "B\xc3",
         "a\xff"
         "b\xc3"},
        {"ß×÷", "ß×÷"},
    };
    for (const auto& [szIn, szOut] : rgLower) EXPECT_EQ(Lower(szIn), szOut) << szIn;

    EXPECT_EQ(CharCount("kůň"), 3u);
    EXPECT_EQ(LastChars("kůň", 2), "ůň");
    EXPECT_EQ(LastChars("kůň", 5), "kůň");
    EXPECT_EQ(CutLastChars("kůň", 1), "ků");
    EXPECT_EQ(CutLastChars("kůň", 3), "");

    const std::pair<std::string_view, FormShape> rgShape[] = {
        {"1998", FormShape::Number},   {"3,14", FormShape::Number},   {"12.", FormShape::Number},
        {"§_1", FormShape::Mixed},     {"F16", FormShape::Mixed},     {",", FormShape::Punctuation},
        {"«", FormShape::Punctuation}, {"Praha", FormShape::Capital}, {"Žena", FormShape::Capital},
        {"žena", FormShape::Lower},    {"Ωmega", FormShape::Capital}, {"", FormShape::Punctuation},
    };
    for (const auto& [sz, shape] : rgShape) EXPECT_EQ(ShapeOf(sz), shape) << sz;
}

TEST(LemmaRules, LearnedFromPairsAndAppliedToNewForms) {
    struct Case {
        std::string_view szForm, szLemma, szNew, szNewLemma;
    };
    const Case rgCase[] = {
        {"Praze", "Praha", "Kaze", "Kaha"},               // cut 2, append
        {"Evropské", "evropský", "Americké", "americký"}, // lower-cased first letter
        {"hradů", "hrad", "stolů", "stol"},
        {"dog", "dog", "cat", "cat"},
        {"ČÁST", "část", "ŽENA", "žena"}, // all lower-cased
        {"šli", "jít", "x", "x"},         // cuts more than the new form has
    };
    for (const Case& c : rgCase) {
        const LemmaRule rule = RuleOf(c.szForm, c.szLemma);
        std::string sz;
        ApplyRule(rule, c.szForm, sz);
        EXPECT_EQ(sz, c.szLemma) << c.szForm;
        sz.clear();
        ApplyRule(rule, c.szNew, sz);
        EXPECT_EQ(sz, c.szNewLemma) << c.szForm << " -> " << c.szNew;
    }
}

// A lexicon of two-character tags: nouns N?, verbs V?, adjectives A?.
Lexicon SmallLexicon(LexiconSettings settings = {}) {
    LexiconBuilder builder(2, settings);
    auto Add = [&](std::string_view szForm, std::string_view szLemma, std::string_view szTag,
                   int c) {
        for (int k = 0; k < c; ++k) builder.AddToken(szForm, szLemma, szTag);
    };
    Add("dog", "dog", "NS", 5);
    Add("dogs", "dog", "NP", 2);
    Add("walks", "walk", "VS", 3);
    Add("walks", "walk", "NP", 1);
    Add("Walks", "walk", "NP", 1);
    Add("Paris", "Paris", "NS", 1);
    // Rare forms: the guesser learns -ed verbs, -s plurals, -ly adverbs.
    for (std::string_view sz : {"jumped", "talked", "played", "missed"}) {
        const std::string szLemma(sz.substr(0, sz.size() - 2));
        Add(sz, szLemma, "VD", 1);
    }
    Add("bed", "bed", "NS", 1);
    for (std::string_view sz : {"cats", "cars", "hats"})
        Add(sz, sz.substr(0, sz.size() - 1), "NP", 1);
    for (std::string_view sz : {"quickly", "slowly"}) Add(sz, sz, "DD", 1);
    Add("42", "42", "CC", 2);
    Add(",", ",", "ZZ", 3);
    builder.AddEntry("dog", "dog", "VS"); // dictionary: a verb reading
    builder.AddEntry("wug", "wug", "NS"); // dictionary only
    return builder.Build();
}

std::vector<std::string> Tags(const AnalysisList& list) {
    std::vector<std::string> rgsz;
    for (int k = 0; k < list.Count(); ++k) rgsz.emplace_back(list.Tag(k));
    return rgsz;
}

using Strings = std::vector<std::string>;

TEST(Analyser, KnownLowerCasedAndUnknownForms) {
    const Analyser an(std::make_shared<Lexicon>(SmallLexicon()), GuessSettings{0.99, 10});
    AnalysisList list;

    // Known as written: most frequent first, the dictionary's reading last.
    an.Analyse("dog", list);
    EXPECT_TRUE(list.Known());
    EXPECT_EQ(Tags(list), (Strings{"NS", "VS"}));
    EXPECT_EQ(list.LemmaOf("VS"), "dog");
    an.Analyse("walks", list);
    EXPECT_EQ(Tags(list), (Strings{"VS", "NP"}));
    // Capitals: both spellings count together.
    an.Analyse("Walks", list);
    EXPECT_EQ(Tags(list), (Strings{"VS", "NP"}));
    EXPECT_EQ(list.Score(1), 2);
    // Only the lower-cased spelling is known.
    an.Analyse("DOGS", list);
    EXPECT_TRUE(list.Known());
    EXPECT_EQ(Tags(list), (Strings{"NP"}));
    EXPECT_EQ(list.LemmaOf("NP"), "dog");
    // Only the dictionary knows it.
    an.Analyse("wug", list);
    EXPECT_EQ(Tags(list), (Strings{"NS"}));
    // Capitals stay when only they are known.
    an.Analyse("paris", list);
    EXPECT_FALSE(list.Known());

    // Unknown forms: endings of rare forms, lemma rules, shapes.
    an.Analyse("walked", list);
    EXPECT_FALSE(list.Known());
    ASSERT_GT(list.Count(), 0);
    EXPECT_EQ(list.Tag(0), "VD");
    EXPECT_EQ(list.Lemma(0), "walk");
    an.Analyse("dots", list);
    EXPECT_EQ(list.Tag(0), "NP");
    EXPECT_EQ(list.Lemma(0), "dot");
    an.Analyse("1999", list);
    EXPECT_EQ(Tags(list), (Strings{"CC"}));
    an.Analyse(";", list);
    EXPECT_EQ(Tags(list), (Strings{"ZZ"}));
    // A shape training never showed: every shape together.
    an.Analyse("B52", list);
    EXPECT_GT(list.Count(), 0);
    double dSum = 0;
    for (int k = 0; k < list.Count(); ++k) dSum += list.Score(k);
    EXPECT_LE(dSum, 1.0 + 1e-9);
}

TEST(Analyser, GuesserCutsAtMassAndMaximum) {
    const auto plex = std::make_shared<Lexicon>(SmallLexicon());
    AnalysisList list;
    struct Case {
        double dMass;
        int cMax;
        int cExpected;
    };
    // The -s ending of lower-case rare forms makes NP most probable; the
    // other tags of lower-case forms follow. 0 expected: as many tags as it
    // takes to reach the mass.
    const Case rgCase[] = {{0.99, 10, 0}, {0.99, 2, 2}, {0.5, 10, 1}, {0.999999, 1, 1}};
    for (const Case& c : rgCase) {
        Analyser(plex, {c.dMass, c.cMax}).Analyse("zogs", list);
        EXPECT_EQ(list.Tag(0), "NP");
        double dMass = 0;
        for (int k = 0; k < list.Count(); ++k) {
            if (k > 0) {
                EXPECT_LE(list.Score(k), list.Score(k - 1));
            }
            EXPECT_LT(dMass, c.dMass) << k;
            dMass += list.Score(k);
        }
        if (c.cExpected > 0)
            EXPECT_EQ(list.Count(), c.cExpected) << c.dMass << " " << c.cMax;
        else
            EXPECT_GE(dMass, c.dMass);
    }
    // A lexicon without any training token guesses nothing.
    LexiconBuilder empty(2);
    empty.AddEntry("dog", "dog", "NS");
    Analyser(std::make_shared<Lexicon>(empty.Build()), {}).Analyse("cat", list);
    EXPECT_EQ(list.Count(), 0);
}

// Tags that accompany each other on forms seen often enough are offered to
// rare forms that show only one of them; frequent forms, tags of too few
// forms and shares below the key stay as seen.
TEST(Analyser, SyncreticTagsJoinRareForms) {
    LexiconBuilder builder(2);
    const auto Add = [&](std::string_view szForm, std::string_view szTag, int c) {
        for (int i = 0; i < c; ++i) builder.AddToken(szForm, "lem", szTag);
    };
    // Three of the five frequent forms with G2 also have A4 (and all with A4
    // have G2); B1/B2 share two forms only.
    for (std::string_view sz : {"ého", "ímu", "ými"}) {
        Add(sz, "G2", 3);
        Add(sz, "A4", 2);
    }
    Add("ích", "G2", 5);
    for (std::string_view sz : {"ba", "bb"}) {
        Add(sz, "B1", 3);
        Add(sz, "B2", 3);
    }
    builder.AddToken("rare", "rarus", "G2");
    builder.AddToken("acc", "accus", "A4");
    builder.AddToken("bare", "bare", "B1");
    builder.AddEntry("dict", "dict", "G2"); // a dictionary's form keeps its analyses
    Add("often", "G2", 30);
    const auto plex = std::make_shared<Lexicon>(builder.Build());

    struct Case {
        double dShare;
        std::string_view szForm;
        Strings rgszTags;
    };
    const Case rgCase[] = {
        {0.0, "rare", {"G2"}},       {0.6, "rare", {"G2", "A4"}}, {0.7, "rare", {"G2"}},
        {0.8, "acc", {"A4", "G2"}},  {0.5, "bare", {"B1"}},       {0.5, "often", {"G2"}},
        {0.5, "Rare", {"G2", "A4"}}, {0.5, "dict", {"G2"}},
    };
    AnalysisList list;
    for (const Case& c : rgCase) {
        GuessSettings guess;
        guess.dSyncretism = c.dShare;
        Analyser(plex, guess).Analyse(c.szForm, list);
        EXPECT_EQ(Tags(list), c.rgszTags) << c.szForm << " " << c.dShare;
        // The added tag takes the lemma of the tag it accompanies.
        if (list.Count() > 1) {
            EXPECT_EQ(list.Lemma(1), list.Lemma(0));
            EXPECT_EQ(list.Score(1), 0.0);
        }
    }
}

TEST(LexiconFile, WrittenAtomicallyAndReadBackIdentically) {
    const test::TempDir dir;
    const Lexicon lex = SmallLexicon();
    FileProblem problem;
    const std::string szFile = dir.Path("small.lex");
    ASSERT_EQ(WriteLexicon(lex, szFile, problem), 0) << problem.szText;
    // Nothing but the file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
    Lexicon lexRead;
    ASSERT_EQ(ReadLexicon(szFile, 2, lexRead, problem), 0) << problem.szText;
    EXPECT_EQ(LexiconText(lexRead), LexiconText(lex));
    EXPECT_EQ(test::ReadFile(szFile), LexiconText(lex));
    // Both give the same analyses.
    // The analyses point into their lexicon: both analysers live while they are compared.
    AnalysisList list1, list2;
    const Analyser anRead(std::make_shared<Lexicon>(std::move(lexRead)), {});
    const Analyser anBuilt(std::make_shared<Lexicon>(SmallLexicon()), {});
    anRead.Analyse("zapped", list1);
    anBuilt.Analyse("zapped", list2);
    EXPECT_EQ(Tags(list1), Tags(list2));

    // A layout or spellings make a version 2 file, read back the same.
    LexiconBuilder builder(2);
    builder.AddToken("dog", "dog", "N-");
    builder.AddSpelling("N-", "N");
    builder.AddSpelling("N-", "N_");
    builder.SetLayout({"layout UPOS+FEATS 2", "UPOS NOUN VERB"});
    const std::string szV2 = LexiconText(builder.Build());
    EXPECT_EQ(szV2.rfind("vexta-lexicon\t2\n", 0), 0u);
    EXPECT_TRUE(test::Contains(szV2, "\nlayout\t2\nlayout UPOS+FEATS 2\nUPOS NOUN VERB\n"
                                     "spellings\t1\nN-\tN\ntags\t1\n"))
        << szV2;
    ASSERT_EQ(ParseLexicon(szV2, "v2", 2, lexRead, problem), 0) << problem.szText;
    EXPECT_EQ(LexiconText(lexRead), szV2);

    EXPECT_EQ(WriteLexicon(lex, dir.Path("no/such/dir.lex"), problem), kLexCannotWrite);
    EXPECT_TRUE(test::Contains(problem.szText, "no/such/dir.lex")) << problem.szText;
}

TEST(LexiconFile, BadFilesAreRefusedWithLineNumbers) {
    const std::string szGood = LexiconText(SmallLexicon());
    auto Replace = [&](std::string_view szOld, std::string_view szNew) {
        std::string sz = szGood;
        sz.replace(sz.find(szOld), szOld.size(), szNew);
        return sz;
    };
    struct Case {
        std::string szText;
        int iCode;
        long lLine;
        std::string_view szMessage;
    };
    const std::size_t cchCut = szGood.find("endings");
    const Case rgCase[] = {
        {"", kLexNotALexicon, 0, "empty file"},
        {"<tagmodel>\n", kLexNotALexicon, 1, "not a lexicon file"},
        {Replace("vexta-lexicon\t1", "vexta-lexicon\t3"), kLexVersion, 1, "version 3"},
        {Replace("vexta-lexicon\t1", "vexta-lexicon\t2"), kLexBadLine, 6, "expected \"layout\""},
        {"vexta-lexicon\t2" +
             Replace("theta\t1\n", "theta\t1\nlayout\t0\nspellings\t2\nNS\tN\nN-\tN\n").substr(15),
         kLexOrder, 9, "spellings not sorted"},
        {Replace("tag-length\t2", "tag-length\t3"), kLexTagLength, 2, "tags of 3 characters"},
        {Replace("tags\t", "tagz\t"), kLexBadLine, 6, "expected \"tags\""},
        {Replace("\nNP\n", "\nN|\n"), kLexBadTag, 9, "cannot hold: N|"},
        {Replace("\nNP\n", "\nAA\n"), kLexOrder, 9, "not sorted"},
        {Replace("dog\tdog\tNS\t5", "dog\tdog\tNS\tfive"), kLexBadLine, 0, "count: dog"},
        {Replace("dog\tdog\tNS\t5", "dog\tdog\tXX\t5"), kLexBadTag, 0, "not in the tag list: XX"},
        {szGood.substr(0, cchCut), kLexBadCount, 0, "file ends where endings was expected"},
        {Replace("end\n", ""), kLexBadCount, 0, "\"end\" was expected"},
        {Replace("tags\t", "tags\t4294967295\n"), kLexBadCount, 6, "more than the rest"},
        {szGood + "more\n", kLexBadLine, 0, "text after \"end\""},
    };
    for (const Case& c : rgCase) {
        Lexicon lex;
        FileProblem problem;
        EXPECT_EQ(ParseLexicon(c.szText, "x.lex", 2, lex, problem), c.iCode) << c.szMessage;
        EXPECT_TRUE(test::Contains(problem.szText, c.szMessage)) << problem.szText;
        EXPECT_EQ(problem.szText.rfind("lexicon x.lex: ", 0), 0u) << problem.szText;
        if (c.lLine > 0) {
            EXPECT_EQ(problem.lLine, c.lLine) << c.szMessage;
        }
        EXPECT_GE(problem.lLine, c.szText.empty() ? 0 : 1) << c.szMessage;
    }
    Lexicon lex;
    FileProblem problem;
    EXPECT_EQ(ReadLexicon("/no/such.lex", 2, lex, problem), kLexCannotOpen);
}

TEST(Dictionary, MergedWithCountZeroInAnyColumnOrder) {
    const test::TempDir dir;
    const std::string szDict = dir.Write("d.tsv", "# tag, form, lemma\n"
                                                  "\n"
                                                  "VS\tdog\tdog\n"
                                                  "NS\tgnu\tgnu\r\n"
                                                  "NS\tdog\tdog\n");
    DictionaryColumns cols{};
    ASSERT_TRUE(ParseDictionaryColumns("tag,form,lemma", cols));
    EXPECT_EQ(cols, (DictionaryColumns{1, 2, 0}));
    for (std::string_view sz :
         {"tag,form", "tag,form,form", "tag,form,lemma,tag", "Tag,form,lemma"})
        EXPECT_FALSE(ParseDictionaryColumns(sz, cols)) << sz;
    ASSERT_TRUE(ParseDictionaryColumns("tag+form+lemma", cols));

    LexiconBuilder builder(2);
    builder.AddToken("dog", "dog", "NS");
    FileProblem problem;
    ASSERT_EQ(ReadDictionary(szDict, cols, 2, builder, problem), 0) << problem.szText;
    const Lexicon lex = builder.Build();
    ASSERT_EQ(lex.rgszForm, (Strings{"dog", "gnu"}));
    // dog: NS seen once in training, VS from the dictionary only.
    ASSERT_EQ(lex.rgAnalysis.size(), 3u);
    EXPECT_EQ(lex.rgAnalysis[0].cCount, 1u);
    EXPECT_EQ(lex.rgAnalysis[1].cCount, 0u);
    EXPECT_EQ(lex.rgszTag[lex.rgAnalysis[1].iTag], "VS");
    EXPECT_EQ(lex.rgAnalysis[2].cCount, 0u);

    struct Case {
        std::string_view szText;
        int iCode;
        long lLine;
        std::string_view szMessage;
    };
    const Case rgCase[] = {
        {"dog\tdog\tNS\n# ok\ndog\tdog\n", kDictFields, 3, "three fields"},
        {"dog\tdog\tNS\textra\n", kDictFields, 1, "three fields"},
        {"dog\tdog\tNSS\n", kDictTagLength, 1, "tag of 3 characters instead of 2: NSS"},
        {"\n\ndog\tdog\tN/\n", kDictTagValue, 3, "cannot hold"},
        {"dog\tdog\tN \n", kDictTagValue, 1, "cannot hold"},
        {"\tdog\tNS\n", kDictEmpty, 1, "empty form"},
    };
    for (const Case& c : rgCase) {
        LexiconBuilder b(2);
        const std::string szFile = dir.Write("bad.tsv", c.szText);
        EXPECT_EQ(ReadDictionary(szFile, kDictColumnsDefault, 2, b, problem), c.iCode) << c.szText;
        EXPECT_EQ(problem.lLine, c.lLine) << c.szText;
        EXPECT_TRUE(test::Contains(problem.szText, c.szMessage)) << problem.szText;
        EXPECT_TRUE(test::Contains(problem.szText, "dictionary " + szFile)) << problem.szText;
    }
    LexiconBuilder b(2);
    EXPECT_EQ(ReadDictionary(dir.Path("none.tsv"), cols, 2, b, problem), kDictCannotOpen);
}

TEST(Dictionary, PaddedAndComposedTags) {
    const test::TempDir dir;
    FileProblem problem;
    // Short tags padded, their spelling kept for output.
    DictionaryTags padded;
    padded.chPad = '-';
    LexiconBuilder builder(3);
    ASSERT_EQ(ReadDictionary(dir.Write("p.tsv", "dog\tdog\tN\ndogs\tdog\tNP\n"),
                             kDictColumnsDefault, 3, builder, problem, padded),
              0)
        << problem.szText;
    const Lexicon lex = builder.Build();
    EXPECT_EQ(lex.rgszTag, (Strings{"N--", "NP-"}));
    ASSERT_EQ(lex.rgSpelling.size(), 2u);
    EXPECT_EQ(lex.rgSpelling[0], (std::pair<std::string, std::string>{"N--", "N"}));

    // Four fields composed into a tag; a line the composer does not know is
    // skipped and counted; its error text ends the reading.
    DictionaryTags composed;
    composed.compose = [](std::string_view szUpos, std::string_view szFeats, std::string& szTag) {
        if (szFeats == "Bad") return std::string("malformed FEATS");
        szTag = szUpos == "NOUN" ? std::string(szFeats == "_" ? "N_" : "NS") : std::string();
        return std::string();
    };
    LexiconBuilder builderU(2);
    ASSERT_EQ(ReadDictionary(dir.Write("u.tsv", "dog\tdog\tNOUN\tNumber=Sing\n"
                                                "dog\tdog\tINTJ\t_\nfish\tfish\tNOUN\t_\n"),
                             kDictColumnsDefault, 2, builderU, problem, composed),
              0)
        << problem.szText;
    EXPECT_EQ(composed.cSkipped, 1);
    EXPECT_EQ(builderU.Build().rgszTag, (Strings{"NS", "N_"}));
    EXPECT_EQ(ReadDictionary(dir.Write("b.tsv", "dog\tdog\tNOUN\n"), kDictColumnsDefault, 2,
                             builderU, problem, composed),
              kDictFields);
    EXPECT_EQ(ReadDictionary(dir.Write("b.tsv", "dog\tdog\tNOUN\tBad\n"), kDictColumnsDefault, 2,
                             builderU, problem, composed),
              kDictTagValue);
    EXPECT_TRUE(test::Contains(problem.szText, "malformed FEATS")) << problem.szText;
}

} // namespace
} // namespace vexta
