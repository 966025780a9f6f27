#include "classlib/Variants.h"

TVariantRelationship VarCompareValue(const QVariant& a, const QVariant& b) {
    const bool emptyA = !a.isValid() || a.isNull();
    const bool emptyB = !b.isValid() || b.isNull();
    if (emptyA || emptyB)
        return emptyA && emptyB ? TVariantRelationship::vrEqual : TVariantRelationship::vrNotEqual;
    const QPartialOrdering order = QVariant::compare(a, b);
    if (order == QPartialOrdering::Equivalent)
        return TVariantRelationship::vrEqual;
    if (order == QPartialOrdering::Less)
        return TVariantRelationship::vrLessThan;
    if (order == QPartialOrdering::Greater)
        return TVariantRelationship::vrGreaterThan;
    return TVariantRelationship::vrNotEqual;
}
