// Entropy of pool features and the orders in which the training loop offers
// the features of one class.
#pragma once

namespace vexta {

struct Model;
struct FeatureDesc;
struct DataTable;

// Entropy in bits of the smoothed distribution of true values over the
// positions where the feature fires, stored in its dLambda: the pool
// threshold (at least 1) is spread evenly over the class's values. 0, or 1
// when the smoothed total is not positive.
int ComputeFeatureEntropy(const Model* pm, FeatureDesc* pfd);

// Orders of one class's pool range (negative sorts the first record first).
// Entropy ascending, count descending, fewer terms first, then term by term.
int CmpFeatureEntropy(const FeatureDesc& fd1, const FeatureDesc& fd2);
// Count descending, then CmpFeatureEntropy.
int CmpFeatureCount(const FeatureDesc& fd1, const FeatureDesc& fd2);
// Count descending only.
int CmpFeatureCountOnly(const FeatureDesc& fd1, const FeatureDesc& fd2);

// Sorts every class's pool range by the model's iSortSugg (2 entropy, 1
// count, otherwise count only) and reports classes whose records do not
// belong to them. The sort is stable. The tables are not used. 0.
int ReSortFeatureSugg(DataTable* pdtT, DataTable* pdtH, Model* pm);

} // namespace vexta
