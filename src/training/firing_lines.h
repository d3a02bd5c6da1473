// The lines of a class where a candidate fires, found through an index of
// the class's lines by the condition that a candidate's first term tests.
//
// Linking a candidate (LinkFeature) matches it at every line of its class.
// Most candidates test a neighbour first (at a fixed offset, or the closest
// line with some class), and there its tag value, whole tag, class, class
// member or form; many candidates of a class test the same neighbour and
// element with different values. An index of the class's lines by what that
// neighbour holds there gives each candidate only the lines where its first
// term holds, and the whole feature is matched at those alone. An index is
// built the second time a neighbour and element are asked for; the first
// time, and for any other first term, every line of the class is matched.
// Either way the chain of lines and the error count are those LinkFeature
// gives. Lines are located and matched on LineColumns.
//
// The indexes read only what does not change while a tag element is
// trained (the lines' tags, classes and forms), not which lines are
// mis-tagged, so each class keeps them from pass to pass: a class is
// visited once per threshold pass, and its candidates ask for the same
// neighbours each time.
#pragma once

#include <cstdint>
#include <map>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "corpus/data_table.h"
#include "model/model.h"
#include "training/line_columns.h"

namespace vexta {

class FiringLines {
public:
    // Starts on class ac of tag element iTE: its training lines with two or
    // more values, and the indexes it kept from an earlier pass. Another tag
    // element than the last one's forgets all kept indexes.
    void SetClass(const DataTable& dt, const AmbClass& ac, int iTE);

    // Forgets every kept index (the classes' lines are chained anew).
    void Forget();

    // What LinkFeature gives for the candidate fd of the class set: the lines
    // where it fires chained through dt.rgilNextFeature from ilFirst (in the
    // same order), and in clErr the number of them mis-tagged in iTE. The
    // feature is matched on columns, built from dt. 0.
    int Link(const Model& m, DataTable& dt, const DataTable& dt2, int iTE, const AmbClass& ac,
             long& clErr, long& ilFirst, const FeatureDesc& fd, const LineColumns& columns);

private:
    // Lines of the class by the value the indexed neighbour holds there:
    // (key, line) pairs in ascending order, so the lines of a key are
    // ascending too.
    struct Slot {
        int cRequests = 0;
        bool fBuilt = false;
        bool fPrefixTags = false; // whole-tag terms cannot be looked up: lines are matched
        std::vector<std::pair<std::uintptr_t, long>> rgKeyLine;
    };

    // Where a first term looks (offset, closest condition) and what it tests.
    using SlotKey = std::tuple<int, int, std::uintptr_t, int>;

    // What is kept of one class.
    struct ClassIndex {
        std::vector<long> rgilClass; // lines of the class, ascending
        std::map<SlotKey, Slot> mpSlot;
    };

    void Build(const Model& m, const DataTable& dt, const FeatureTerm& ft,
               const LineColumns::Compiled::Term& term, const LineColumns& columns,
               Slot& slot) const;

    const AmbClass* pac_ = nullptr;
    ClassIndex* pci_ = nullptr; // the class set
    int iTE_ = -1;
    std::unordered_map<const AmbClass*, ClassIndex> mpClass_;
};

} // namespace vexta
