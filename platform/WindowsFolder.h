#pragma once
// Drive paths of the original platform mapped to this system: the Windows folder, where the program
// keeps its settings file, is $VEXADAXO_WINDIR, else $XDG_CONFIG_HOME/vexadaxo, else ~/.config/vexadaxo.
#include <QString>

// The Windows folder, without a trailing delimiter.
QString WindowsFolder();
// A file in the Windows folder ("daxoconf.Ini" gives <folder>/daxoconf.Ini).
QString WindowsFolderFile(const QString& fileName);
// The folder for the program's own configuration ($XDG_CONFIG_HOME/vexadaxo or ~/.config/vexadaxo).
QString ConfigFolder();
