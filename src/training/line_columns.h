// Matching candidate features against the true tags of the training lines,
// from compact per-line columns instead of the lines' own records.
//
// Selection matches every candidate at every line of its class, which is
// most of its work. FeatureTrain reads each line's record, its class array
// and its strings: several cache lines per condition. The columns hold what
// conditions test, line by line and packed: the tag's values, each tag
// element's class as a small number (with the class's values as a set), the
// form. A feature is translated once into terms on the columns (Compile),
// and Fires then gives exactly what FeatureTrain gives. Conditions the
// columns do not hold (lemmas), and lines whose record is not regular (no
// tag, a tag shorter than the tag elements, another number of classes), are
// tested on the line's record as FeatureTrain tests them.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "corpus/data_table.h"
#include "model/model.h"

namespace vexta {

class LineColumns {
public:
    // A feature translated for Fires.
    struct Compiled {
        enum class Cond : std::uint8_t {
            kTrue,     // holds everywhere
            kFalse,    // holds nowhere
            kValue,    // value chValue of tag element t
            kAC,       // class number id of tag element t
            kMember,   // chValue is a value of the class of tag element t
            kWholeTag, // the whole tag is pszValue (cTagElem characters)
            kForm,     // the form is pszValue
            kRecord,   // tested on the line's record
        };
        struct Test {
            Cond cond = Cond::kTrue;
            unsigned char chValue = 0;
            int t = 0;
            std::uint32_t id = 0;
            int iElem = 0;                  // for kRecord
            const char* pszValue = nullptr; // for kWholeTag, kForm and kRecord
        };
        enum class Where : std::uint8_t { kAny, kAt, kClosestLeft, kClosestRight };
        struct Term {
            Where where = Where::kAny;
            int iPos = 0;
            Test testClosest;
            Test test;
        };
        int cTerms = 0;
        std::array<Term, kTermsMax> rgTerm{};
    };

    // Whether the columns are those of the table as it is.
    bool For(const DataTable& dt) const {
        return pdt_ == &dt && clLines_ == dt.clLines && clData_ == dt.clData;
    }
    // Fills the columns from the lines of the table.
    void Build(const Model& m, const DataTable& dt);

    void Compile(const Model& m, const FeatureDesc& fd, Compiled& cf) const;

    // FeatureTrain(m, fd, dt, il) for the feature fd compiled into cf.
    bool Fires(const Model& m, const DataTable& dt, const Compiled& cf, long il) const;

    // The line the term looks at from line il, as matching locates it, or
    // -1 when there is none (il itself for an empty term).
    long Locate(const Model& m, const DataTable& dt, const Compiled::Term& term, long il) const;

    // What the columns hold of line r: whether it is regular, and then its
    // value of tag element t, and the number of its class of t plus one.
    bool Regular(long r) const { return rgfRegular_[static_cast<std::size_t>(r)] != 0; }
    char Value(long r, int t) const {
        return rgchTag_[static_cast<std::size_t>(r) * cTE_ + static_cast<std::size_t>(t)];
    }
    std::uint32_t ClassKey(long r, int t) const {
        return rgidAC_[static_cast<std::size_t>(r) * cTE_ + static_cast<std::size_t>(t)] + 1;
    }
    const char* Form(long r) const { return rgpszForm_[static_cast<std::size_t>(r)]; }
    // The values of the class ClassKey gives, as a set of bytes.
    const std::bitset<kValueCnt>& ClassValues(int t, std::uint32_t uKey) const {
        return rgrgValues_[static_cast<std::size_t>(t)][uKey - 1];
    }
    // The ClassKey of the class string pszAC of tag element t (t below the
    // tag elements), 0 when no line of the table has it.
    std::uint32_t ClassKeyOf(int t, const char* pszAC) const;

private:
    Compiled::Test TestOf(const Model& m, int iElem, const char* pszValue) const;
    bool Holds(const Model& m, const DataTable& dt, const Compiled::Test& test, long r) const;

    const DataTable* pdt_ = nullptr;
    long clLines_ = -1;
    long clData_ = -1;
    std::size_t cTE_ = 0;
    std::vector<char> rgchTag_;             // per line cTE_ values
    std::vector<std::uint32_t> rgidAC_;     // per line cTE_ class numbers
    std::vector<const char*> rgpszForm_;    // per line
    std::vector<unsigned char> rgfRegular_; // per line: the columns hold its record
    // Per tag element: the number of each class string, and the values of
    // each number.
    std::vector<std::unordered_map<const char*, std::uint32_t>> rgmpId_;
    std::vector<std::vector<std::bitset<kValueCnt>>> rgrgValues_;
};

} // namespace vexta
