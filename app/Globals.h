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

// The program's version. Until the version note is read from the program file, these are the version
// the program was built with.
void GetAppVersion(int& Major, int& Minor, int& Release, int& Build);
QString GetAppVersionText();  // "major.minor.release.build"
QString GetAppVersionShort(); // "major.minor"
