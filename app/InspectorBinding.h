#pragma once
// The rules that bind the main window's object inspector to the device model: which rows a digital
// input of the model that only counts in the Mixed function may show, which choices its pick lists
// offer, and how the rows are adjusted after every scan. The main window's inspector events call these.
#include <QStringList>

class QObject;
class TCollectionItem;
class TChannelDigitalInput;
class TRSCustomObjectInspector;

// Model codes the rules look at.
namespace InspectorModel {
// Eight digital inputs that work in the Mixed function only: no preset and no alarm-output link.
inline constexpr int MixedOnlyInputs = 128;
// The temperature module: the only one whose temperature group has settings.
inline constexpr int Temperature = 63;
} // namespace InspectorModel

// The row names a mixed-only input hides.
inline constexpr const char* FilterEnabledAlarmOutput = "EnabledAlarmOutput";
inline constexpr const char* FilterPreset = "Preset";

// The object's class is one the inspector shows (class names compared without regard to case).
bool IsInspectableObject(const QObject* object);

// For an input of the mixed-only model the two row names join the inspector's Filters (each once);
// for any other model they leave it. Then the inspector refreshes its values.
void ApplyDigitalInputFilters(TRSCustomObjectInspector& inspector, const TChannelDigitalInput& input);

// The pick list of a digital input of a model whose inputs have no Mixed function loses "Mixed".
void FilterDigitalInputPickList(const TCollectionItem* selectedItem, QStringList& values);

// After a scan: collection rows and their item rows show no value, and "InputFunction" is read-only
// exactly while the mixed-only filters are in place.
void ApplyAfterScanRules(TRSCustomObjectInspector& inspector);
