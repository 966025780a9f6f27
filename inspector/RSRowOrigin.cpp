#include "inspector/RSRowOrigin.h"
#include "classlib/Strings.h"
#include "inspector/RSItemListEditor.h"
#include "inspector/RSItemProperty.h"
#include <vector>

TRSRowOrigin TRSRowOrigin::OfLine(QObject* list, int index) {
    TRSRowOrigin origin;
    origin.Object = list;
    origin.Index = index;
    const auto* strings = qobject_cast<TStrings*>(list);
    if (!strings || index < 0 || index >= strings->Count())
        return origin;
    origin.Count = strings->Count();
    origin.Line = strings->Strings(index);
    origin.HasPrevious = index > 0;
    origin.HasNext = index + 1 < origin.Count;
    if (origin.HasPrevious)
        origin.Previous = strings->Strings(index - 1);
    if (origin.HasNext)
        origin.Next = strings->Strings(index + 1);
    return origin;
}

int TRSRowOrigin::LineIndexNow() const {
    const auto* list = qobject_cast<TStrings*>(Object.data());
    if (!list || !IsLine())
        return -1;
    const int count = list->Count();
    if (count == Count)
        return Index < count ? Index : -1;
    if (LikeANeighbour())
        return -1;
    int found = -1;
    for (int j = 0; j < count; ++j) {
        if (list->Strings(j) != Line)
            continue;
        const bool previous = (j > 0) == HasPrevious && (!HasPrevious || list->Strings(j - 1) == Previous);
        const bool next = (j + 1 < count) == HasNext && (!HasNext || list->Strings(j + 1) == Next);
        if (!previous && !next)
            continue;
        if (found >= 0)
            return -1; // two such places
        found = j;
    }
    return found;
}

bool TRSRowOrigin::Same(const TRSRowOrigin& later) const {
    if (!Object || Object != later.Object || IsLine() != later.IsLine())
        return false;
    if (!IsLine())
        return true; // the same item, wherever it is now
    if (later.Count == Count)
        return later.Index == Index;
    if (LikeANeighbour())
        return false;
    // Lines came or went: the same line with the same neighbour on at least one side (the other may be
    // the line that came or went). A second such line makes both rows match, and the caller then cannot
    // tell.
    const bool previous = later.HasPrevious == HasPrevious && later.Previous == Previous;
    const bool next = later.HasNext == HasNext && later.Next == Next;
    return later.Line == Line && (previous || next);
}

namespace {

class TInspectorRowIdentity : public TRSRowIdentity {
public:
    explicit TInspectorRowIdentity(const TRSItemProperty* row) {
        for (const TRSItemProperty* r = row; r; r = r->ParentRow())
            m_steps.push_back(StepOf(r));
    }

    bool Matches(const TRSItemProp* candidate) const override {
        const auto* row = qobject_cast<const TRSItemProperty*>(candidate);
        for (const TStep& step : m_steps) {
            if (!row || row->Category() != step.Category)
                return false;
            if (!step.Origins.empty()) {
                // The same thing in every inspected object.
                const std::vector<TRSRowOrigin>& now = row->Origins();
                if (now.size() != step.Origins.size())
                    return false;
                for (size_t i = 0; i < now.size(); ++i)
                    if (!step.Origins[i].Same(now[i]))
                        return false;
            } else if (!row->Origins().empty() || NameOf(row) != step.Name) {
                return false;
            }
            row = row->ParentRow();
        }
        return row == nullptr;
    }

private:
    struct TStep {
        QString Name;
        bool Category = false;
        std::vector<TRSRowOrigin> Origins;
    };

    // A category row stands for its category, any other for its property.
    static QString NameOf(const TRSItemProperty* row) {
        return row->Category() ? row->Name() : row->PropName();
    }

    static TStep StepOf(const TRSItemProperty* row) {
        TStep step;
        step.Name = NameOf(row);
        step.Category = row->Category();
        step.Origins = row->Origins();
        return step;
    }

    std::vector<TStep> m_steps; // the row first, then up to the top level
};

} // namespace

std::shared_ptr<const TRSRowIdentity> InspectorRowIdentity(const TRSItemProperty* row) {
    return std::make_shared<TInspectorRowIdentity>(row);
}
