#include "app/InspectorBinding.h"
#include "inspector/RSObjectInspector.h"
#include "model/ChannelItems.h"
#include "model/RemoteIO.h"
#include <algorithm>
#include <iterator>

namespace {

// Digital-input models whose inputs offer Normal and Counter only.
constexpr int kModelsWithoutMixed[] = {0, 14, 20, 24, 28};

int ModelCodeOf(const TCollectionItemNode& item) {
    const TRemoteIO* device = item.Device();
    return device ? device->Information()->ModelCode() : -1;
}

} // namespace

bool IsInspectableObject(const QObject* object) {
    static const char* const accepted[] = {"TChannelDigitalInput", "TremoteIO", "TChannelAnalogicInput",
                                           "TChannelAnalogicOutput", "TTemperatureInput"};
    if (!object)
        return false;
    const QLatin1String className(object->metaObject()->className());
    return std::any_of(std::begin(accepted), std::end(accepted), [&](const char* name) {
        return className.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    });
}

void ApplyDigitalInputFilters(TRSCustomObjectInspector& inspector, const TChannelDigitalInput& input) {
    TStringList& filters = *inspector.Filters();
    const QString names[] = {QLatin1String(FilterEnabledAlarmOutput), QLatin1String(FilterPreset)};
    if (ModelCodeOf(input) == InspectorModel::MixedOnlyInputs) {
        for (const QString& name : names)
            if (filters.IndexOf(name) < 0)
                filters.Add(name);
    } else {
        for (const QString& name : names)
            if (const int index = filters.IndexOf(name); index >= 0)
                filters.Delete(index);
    }
    inspector.RefreshOrRescan();
}

void FilterDigitalInputPickList(const TCollectionItem* selectedItem, QStringList& values) {
    // Whatever the row: every pick list of such an input loses the choice.
    const auto* input = qobject_cast<const TChannelDigitalInput*>(selectedItem);
    if (!input)
        return;
    const int model = ModelCodeOf(*input);
    if (std::find(std::begin(kModelsWithoutMixed), std::end(kModelsWithoutMixed), model) ==
        std::end(kModelsWithoutMixed))
        return;
    if (const qsizetype index = values.indexOf(QStringLiteral("Mixed")); index >= 0)
        values.removeAt(index);
}

void ApplyAfterScanRules(TRSCustomObjectInspector& inspector) {
    const TStringList& filters = *inspector.Filters();
    const bool mixedOnly = filters.IndexOf(QLatin1String(FilterEnabledAlarmOutput)) >= 0 &&
                           filters.IndexOf(QLatin1String(FilterPreset)) >= 0;
    TRSItemProperties* rows = inspector.Items();
    for (int i = 0; i < rows->Count(); ++i) {
        TRSItemProperty* row = rows->Items(i);
        if (row->RowKind() == rkCollection) {
            row->SetValue(QString());
            TRSItemProperties* items = row->Items();
            for (int j = 0; j < items->Count(); ++j)
                if (items->Items(j)->RowKind() == rkCollectionItem)
                    items->Items(j)->SetValue(QString());
        } else if (row->PropName() == QLatin1String("InputFunction")) {
            row->SetReadOnly(mixedOnly);
        }
    }
}
