#pragma once
// Reading a compiled message catalogue (.mo) backwards: which text of the program a translation came
// from. Texts that the program composed once and keeps showing (the last result in the status bar) can
// then be shown again in another language.
#include <QString>

// The source text whose translation in the catalogue file is `translated`; empty when the file cannot
// be read, is not a catalogue, or holds no such translation. A damaged file is read no further than its
// own bounds say.
QString SourceOfTranslation(const QString& catalogueFile, const QString& translated);
