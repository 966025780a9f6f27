// The precompiled header of the test binaries whose code uses Qt: the Qt classes the tests use most. Not
// for the others: Qt's keyword macros (slots, signals, emit) would take their plain names.
// Not QTest: its header reads a macro whose value differs between test binaries, and the header is shared.
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
