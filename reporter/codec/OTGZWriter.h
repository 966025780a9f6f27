#pragma once
// Packs the files of a report into one gzip-compressed tar archive. Entries collect in memory; the
// archive is written when the writer is finished (or destroyed).
#include "OStream.h"

#include <ctime>
#include <string>

namespace reporter {

class TTGZWriter {
public:
    explicit TTGZWriter(std::string targetFileName);
    // Finishes quietly when Finish was not called; call Finish to learn of a write failure.
    ~TTGZWriter();
    TTGZWriter(const TTGZWriter&) = delete;
    TTGZWriter& operator=(const TTGZWriter&) = delete;

    // The entry is named storedName (or the file's own name) without folder, dated with the file's
    // last-write time. A file that cannot be read raises EFileError.
    void AddFile(const std::string& fileName, const std::string& storedName = std::string());
    // Adds the stream's bytes from its position to its end.
    void AddStream(TOstrelStream& stream, const std::string& name, time_t time);
    void AddData(const void* data, size_t size, const std::string& name, time_t time);
    // Ends the archive and writes the gzip file; raises EFileError or EZLibError on failure.
    void Finish();

    // The uncompressed tar data collected so far.
    const std::vector<uint8_t>& TarData() const { return m_tar.Bytes(); }

private:
    std::string m_targetFileName;
    TOstrelStream m_tar;
    bool m_finished = false;
};

// The gzip file image of the data (a single member named name), deflated at level 9.
std::vector<uint8_t> BuildGZip(const std::vector<uint8_t>& data, const std::string& name);

} // namespace reporter
