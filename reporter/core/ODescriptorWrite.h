#pragma once
// Writing a whole text to a descriptor, piece by piece as it takes it.
#include <string_view>

namespace reporter {

// Writes all of the text, again after a signal interrupts; false when the descriptor refuses or takes
// nothing. afterPiece (when given) runs after each piece the descriptor took.
bool WriteWhole(int descriptor, std::string_view text, void (*afterPiece)() = nullptr);

} // namespace reporter
