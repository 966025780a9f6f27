#pragma once
// The program's pictures, drawn at start rather than shipped as files: the tool-bar images
// (ImageListIcones, 32 x 32 on white), the network-tree and grid images (ImageListSimulation, 16 x 16),
// the logo and the splash picture.
#include <QIcon>
#include <QList>
#include <QPixmap>

namespace IconIndex {
constexpr int Search = 0;
constexpr int Setup = 1;
constexpr int SendConfig = 2;
constexpr int Help = 3;
constexpr int Exit = 4;
constexpr int Language = 5;
constexpr int About = 6;
constexpr int Log = 7;
} // namespace IconIndex

namespace SimulationIndex {
constexpr int OutputOn = 4;
constexpr int InputOn = 5;
constexpr int Off = 6;
} // namespace SimulationIndex

const QList<QPixmap>& ImageListIcones();
const QList<QPixmap>& ImageListSimulation();
QPixmap LogoPicture();
// The program picture of the About window's General page, 128 x 128.
QPixmap ProgramPicture();
// The icon of every window of the program.
QIcon ProgramIcon();
// The splash picture; its clFuchsia pixels are transparent.
QPixmap SplashPicture();
