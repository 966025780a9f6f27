#pragma once
// TCommunicationTask: one Modbus operation, the unit of work of the supervision and writer threads.
// Number is 1-based; the request carries Number - 1.
#include <QtGlobal>

class TRemoteIO;

struct TCommunicationTask {
    quint8 ReadBeforeWrite = 0;
    quint8 FunctionCode = 0;
    quint8 Slave = 0;
    quint16 Number = 0;
    quint16 Count = 0;
    qint32 Period = 250; // polling period in ms
    qint32 Column = 0;   // diagnostics grid column the values go to
    qint32 DisplayKind = 0;
    quint32 LastTick = 0;
    TRemoteIO* Target = nullptr;
    quint8 ValueHigh = 0;
    quint8 ValueLow = 0;

    int Value() const { return ValueHigh * 256 + ValueLow; }
    void SetValue(int value) {
        ValueHigh = quint8((value >> 8) & 0xFF);
        ValueLow = quint8(value & 0xFF);
    }
};
