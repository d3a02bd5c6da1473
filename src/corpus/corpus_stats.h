// Value distribution of every tag element over the true tags of a data table
// and its entropy; the counts and entropies stay in the table.
#pragma once

namespace vexta {

struct Model;
struct DataTable;

// Adds, for every stored line and tag element t, one to the count of the
// line's true value at t (rgrgclCntTE). 0.
int GetUnigramCounts(const Model& m, DataTable& dt);

// Computes rgdEntTE[t], the entropy in bits of the values of tag element t,
// from the counts (0 for an empty table). 0.
int GetUnigramEnt(const Model& m, DataTable& dt);

} // namespace vexta
