#pragma once
// The class library's variant comparison, for values read through the property layer.
#include <QVariant>

enum class TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

// Two empty values are equal; an empty and a set value, or values that cannot be ordered against each other,
// are vrNotEqual.
TVariantRelationship VarCompareValue(const QVariant& a, const QVariant& b);
