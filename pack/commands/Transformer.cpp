#include "Transformer.h"

#include "CompoundFileOutput.h"
#include "TransformInputs.h"

void makeTransform(const tstring& base, const tstring& variant, const tstring& output) {
    checkTransformFiles(base, variant, output);
    const ReadPackage from(base);
    const ReadPackage to(variant);
    requireSameProduct(from, to);
    const TransformContents transform = transformBetween(from, to);
    writeCompoundFileTo(transform.storage, output);
}
