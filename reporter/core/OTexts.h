#pragma once
// The reporter's report texts, the General-section field keys and the option-editor labels.
#include <array>

namespace reporter {

inline constexpr int ReportTextCount = 96;
inline constexpr int GeneralFieldKeyCount = 33;
inline constexpr int OptionLabelCount = 107;

// Default texts 0..95: captions, buttons, section names and column headings of the dialogs and the log.
extern const std::array<const char*, ReportTextCount> DefaultReportTexts;
// "Section|Field" of each General-section field; entry i is named by bit i of GeneralFields.
extern const std::array<const char*, GeneralFieldKeyCount> GeneralFieldKeys;
// Labels of an options editor (the texts under their group labels); the run time never reads them.
extern const std::array<const char*, OptionLabelCount> OptionLabels;

} // namespace reporter
