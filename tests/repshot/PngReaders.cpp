#include "PngReaders.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sstream>

namespace {

// Prints one line per chunk, the header and the palette, writes the rows' palette indices; exits non-zero
// with a message when the file breaks a rule of the format.
const char* const PythonReader = R"PY(
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
out = open(sys.argv[2], 'wb')
def fail(text):
    print('error', text)
    sys.exit(1)
if data[:8] != bytes([137, 80, 78, 71, 13, 10, 26, 10]):
    fail('signature')
pos, ihdr, plte, idat, ended = 8, None, None, b'', False
while pos < len(data):
    if ended:
        fail('data after IEND')
    if pos + 12 > len(data):
        fail('truncated chunk')
    n, kind = struct.unpack('>I4s', data[pos:pos + 8])
    if pos + 12 + n > len(data):
        fail('chunk longer than file')
    body = data[pos + 8:pos + 8 + n]
    crc, = struct.unpack('>I', data[pos + 8 + n:pos + 12 + n])
    print('chunk', kind.decode('ascii'), n, 1 if zlib.crc32(kind + body) & 0xffffffff == crc else 0)
    if kind == b'IHDR': ihdr = body
    elif kind == b'PLTE': plte = body
    elif kind == b'IDAT': idat += body
    elif kind == b'IEND': ended = True
    pos += 12 + n
if not ended or ihdr is None or plte is None:
    fail('missing chunk')
w, h, depth, ctype, comp, filt, inter = struct.unpack('>IIBBBBB', ihdr)
print('header', w, h, depth, ctype, comp, filt, inter)
raw = zlib.decompress(idat)
if len(raw) != h * (w + 1):
    fail('image data of %d bytes' % len(raw))
print('palette', plte.hex())
for y in range(h):
    row = raw[y * (w + 1):(y + 1) * (w + 1)]
    if row[0] != 0:
        fail('row filter %d' % row[0])
    out.write(row[1:])
print('done')
)PY";

} // namespace

TPythonPng ReadPngWithPython(const std::vector<uint8_t>& png) {
    TPythonPng result;
    QTemporaryDir dir;
    const QString script = dir.filePath("reader.py"), input = dir.filePath("in.png"),
                  output = dir.filePath("out.rgb");
    QFile s(script), in(input);
    if (!s.open(QIODevice::WriteOnly) || s.write(PythonReader) < 0 || !in.open(QIODevice::WriteOnly) ||
        in.write(reinterpret_cast<const char*>(png.data()), qint64(png.size())) != qint64(png.size())) {
        result.Error = "cannot write the reader's files";
        return result;
    }
    s.close();
    in.close();
    QProcess python;
    python.start("/usr/bin/python3", {script, input, output});
    if (!python.waitForFinished(60000)) {
        result.Error = "python did not finish";
        return result;
    }
    std::istringstream lines(python.readAllStandardOutput().toStdString());
    std::string word, paletteHex;
    while (lines >> word) {
        if (word == "chunk") {
            TPngChunkInfo chunk;
            int ok = 0;
            lines >> chunk.Type >> chunk.Length >> ok;
            chunk.CrcOk = ok == 1;
            result.Chunks.push_back(chunk);
        } else if (word == "header") {
            lines >> result.Width >> result.Height;
            result.Header.resize(5);
            for (int& v : result.Header)
                lines >> v;
        } else if (word == "palette") {
            lines >> paletteHex;
        } else if (word == "error") {
            std::getline(lines, result.Error);
        }
    }
    if (python.exitCode() != 0) {
        if (result.Error.empty())
            result.Error = python.readAllStandardError().toStdString();
        return result;
    }
    QFile out(output);
    if (!out.open(QIODevice::ReadOnly)) {
        result.Error = "no pixels";
        return result;
    }
    const QByteArray palette = QByteArray::fromHex(QByteArray::fromStdString(paletteHex));
    const QByteArray indices = out.readAll();
    for (const char c : indices) {
        const qsizetype i = 3 * qsizetype(uint8_t(c));
        if (i + 2 >= palette.size()) {
            result.Error = "index beyond the palette";
            return result;
        }
        result.Pixels.push_back(uint32_t(uint8_t(palette[i])) << 16 | uint32_t(uint8_t(palette[i + 1])) << 8 |
                                uint8_t(palette[i + 2]));
    }
    result.Ok = true;
    return result;
}

QImage ReadPngWithQt(const std::vector<uint8_t>& png) {
    return QImage::fromData(png.data(), int(png.size()), "PNG");
}

std::vector<uint32_t> ExpectedColors(const reporter::TPaletteImage& image) {
    std::vector<uint32_t> colors;
    colors.reserve(size_t(image.Width) * image.Height);
    for (uint32_t y = 0; y < image.Height; ++y)
        for (uint32_t x = 0; x < image.Width; ++x)
            colors.push_back(image.Palette[image.Index(x, y)] & 0xFFFFFF);
    return colors;
}

std::vector<uint32_t> QtPixels(const QImage& image) {
    std::vector<uint32_t> colors;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            colors.push_back(rgb.pixel(x, y) & 0xFFFFFF);
    return colors;
}
