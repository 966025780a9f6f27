#pragma once
// One numbered section of a report ("General"): groups with a header and a rule, fields numbered
// "group.field". The numbers count hidden fields too, so a field keeps its number whatever the options
// hide; the log reader finds fields by these numbers in the stored text.
#include <cstdint>
#include <string>

namespace reporter {

class TLogItem {
public:
    // The group number starts from id: the first group is id + 1.
    explicit TLogItem(int32_t id = 0) : m_groupNumber(id), m_id(id) {}

    void AddGroup(const std::string& label);
    // Counts the field always; writes it only when visible.
    void AddField(const std::string& label, const std::string& value, bool visible = true);
    // The aligned text: groups without a visible field dropped, every ": " of a group in one column,
    // continuation lines under the values, rules as long as the group's longest line; CR LF line ends.
    std::string GetText() const;

    const std::string& Text() const { return m_text; }
    int32_t GroupNumber() const { return m_groupNumber; }
    int32_t FieldNumber() const { return m_fieldNumber; }
    int32_t ID() const { return m_id; }

private:
    std::string m_text;
    int32_t m_groupNumber;
    int32_t m_fieldNumber = 0;
    int32_t m_id;
};

// The text followed by blanks up to width characters; a longer text is left as it is.
std::string PadRight(const std::string& text, size_t width);
// A value spread over several lines, made fit for a field: every ": " becomes ":_" (the alignment and
// the log reader look for the first ": " of a line), an empty or blank line becomes ".", and every line
// after the first starts with one blank. Any line break (CR LF, LF or CR) counts; the lines are joined
// with CR LF. A one-line value comes back unchanged.
std::string FormatFieldValue(const std::string& value);

} // namespace reporter
