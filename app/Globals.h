#pragma once
// Program-wide instances. Each lives for the whole run unless said otherwise; the windows are created
// by the start-up in main.cpp, the master and the network by the main window.
#include "comm/FindOptions.h"
#include "comm/FindOptions.h" // FindOptions: the one set of search options
#include <QString>

class TModbusSerialTCPMaster;
class TRemoteIO;
class TFormMain;
class TFormCommunicationConfig;
class TFormFindSlave;
class TFormAbout;
class TFormLog;
class TFormSaveConfigStatus;
class TFormSplash;
class TFormDev7610BR;
class TFindSlaveThread;
class TSupervisionThread;
class TSaveConfigThread;

// FindOptions: the one set of search options.
// Folder of the program file, with a trailing delimiter.
inline QString ProgramFolder;
inline TModbusSerialTCPMaster* ModbusMaster = nullptr;
// The device chosen for diagnostics.
inline TRemoteIO* CurrentDevice = nullptr;

// The running worker of each kind; at most one of them runs at a time.
inline TFindSlaveThread* FindThread = nullptr;
inline TSupervisionThread* SupervisionThread = nullptr;
inline TSaveConfigThread* SaveConfigThread = nullptr;

inline TFormMain* FormMain = nullptr;
inline TFormCommunicationConfig* FormCommunicationConfig = nullptr;
inline TFormFindSlave* FormFindSlave = nullptr;
inline TFormAbout* FormAbout = nullptr;
inline TFormLog* FormLog = nullptr;
inline TFormSaveConfigStatus* FormSaveConfigStatus = nullptr;
inline TFormSplash* FormSplash = nullptr;
inline TFormDev7610BR* FormDev7610BR = nullptr;

// The application title, also the main window's caption.
inline constexpr const char* ApplicationTitle = "Vexa Daxo Soft";
// The help page below the program folder.
inline constexpr const char* HelpFile = "help/daxo_help.htm";

// The program file, as the version routines read it.
inline constexpr const char* ProgramFileLink = "/proc/self/exe";
// The full path of the program file.
QString ProgramFileName();

// Version routines: the fixed file version of the version note that the build writes into the program
// (platform/VersionInfo). A file without a readable note has no version: GetFileVersionString gives ""
// and GetAppVersion gives 0.0.0.0.
// The file version of the named file as "major.minor.release.build".
QString GetFileVersionString(const QString& FileName);
// The four parts of the program file's own file version.
void GetAppVersion(int& Major, int& Minor, int& Release, int& Build);
QString GetAppVersionText();  // "major.minor.release.build"
QString GetAppVersionShort(); // "major.minor"
// The program file's last-write date and time: the short date, a blank, the time with seconds, in the
// system's formats.
QString GetAppFileDateText();
