#pragma once
// Whether a port name typed into the settings dialog names a serial port this program can open.
#include <QString>

// True when the name ("COMn", a name under /dev or an absolute path, as the master resolves it) is a
// character device that opens for reading and writing and is a terminal. The device is closed again at
// once; it is opened without waiting for modem lines and without becoming the controlling terminal.
bool SerialPortOpens(const QString& portName);
