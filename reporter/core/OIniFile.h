#pragma once
// The two profile routines of the reporter: one value of an INI file read or written. Sections and keys
// are matched without regard to case; a write replaces the whole file by renaming a new one over it.
#include <string>

namespace reporter {

// $VEXADAXO_WINDIR, else $XDG_CONFIG_HOME/vexadaxo, else ~/.config/vexadaxo; with a trailing "/".
std::string GetWindowsFolder();

// The value (at most 2047 characters, blanks and one pair of enclosing quotes removed), or the default
// when the file, the section or the key is missing. A name without a folder lies in the Windows folder; a
// file that cannot be read there is looked for under the log's fall-back folder.
std::string IniReadString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& defaultValue);
// Sets the value, adding the section and the key when missing; false when the file cannot be written
// (nor its stand-in in the fall-back folder). False with nothing written when an existing file cannot be
// read whole (unreadable, above 1 MB, no regular file), and when the reader would not find the section
// and the key as given (line breaks, "=" in the key, blanks at their ends, a key starting with ";", a
// line that would read as a section header). The file is replaced by a new one renamed over it; through
// a link, beside the file the link points at.
bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);

} // namespace reporter
