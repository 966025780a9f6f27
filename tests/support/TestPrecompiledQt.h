// The precompiled header of the test binaries whose code uses Qt: the Qt classes the tests use most. Not
// for the others: Qt's keyword macros (slots, signals, emit) would take their plain names.
#pragma once
#include "tests/support/TestPrecompiled.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QPainter>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
// Only the binaries that link Qt's test library have its headers.
#if __has_include(<QTest>)
#include <QTest>
#endif
