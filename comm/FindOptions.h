#pragma once
// The one set of search options: written by the search dialog, read by the search and writer threads
// (the writer clears the factory option after a complete send).
#include <QtGlobal>

struct TFindOptions {
    bool UseFactoryDefault = false;
    qint32 EndAddress = 10;
    qint32 BeginAddress = 1;

    void Reset() { *this = TFindOptions(); }
};

inline TFindOptions FindOptions;
