#pragma once
// Decodes a JPEG picture with libjpeg. A damaged or truncated picture gives a null image, never a crash.
#include <QByteArray>
#include <QImage>

QImage DecodeJpeg(const QByteArray& data);
