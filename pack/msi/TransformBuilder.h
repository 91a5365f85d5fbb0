#pragma once

#include "CompoundFile.h"
#include "MsiDatabase.h"
#include "SummaryInformation.h"
#include "tstrings.h"

#include <string>
#include <vector>

// What turns one database into another: the transform's own string pool, a
// stream for each table it changes holding the rows it adds, changes (the
// changed columns alone) and deletes (the keys alone), `_Tables` and
// `_Columns` rows for the tables and columns it adds, and the streams that
// the variant adds or changes (a row's, or a cabinet's). Made for a language variant of one product: a table or
// column that the base has and the variant lacks, a column whose type differs
// or a key that differs, text that two code pages cannot compare, are
// refused, each in one sentence naming the file and the table.
struct TransformContents {
    CompoundStorage storage;
    // The tables whose rows or columns change, in the order written.
    std::vector<std::string> changedTables;
};

struct TransformSides {
    const MsiDatabase& base;
    const MsiDatabase& variant;
    // How messages name the two files.
    tstring baseName;
    tstring variantName;
};

// Throws "there is nothing to transform" when the two agree in every table
// and stream.
TransformContents buildTransform(const TransformSides& sides, const SummaryInformation& summary);

// The summary information of the transform from `base` to `variant`: the
// languages each has (the ProductLanguage property), the product codes and
// versions of both, the upgrade code, and what an applier checks.
SummaryInformation transformSummary(const TransformSides& sides);

// The transform's storage class.
extern const Clsid transformClsid;
