#pragma once
// Compares the source positions that the reporter's packed debug data gives for code addresses with
// addr2line's reading of the same file's DWARF data (the outermost frame of an inlined call, the line
// of the routine that holds the address).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testtools {

struct TSourcePosition {
    std::string Unit; // file name without folder
    int Line = 0;
};

struct TLineDisagreement {
    uint64_t Address = 0;
    std::string Packed; // "unit:line", empty when the lookup found nothing
    std::string Oracle;
};

struct TLineAgreement {
    size_t Asked = 0;
    size_t WithLine = 0; // addresses for which addr2line has a line
    size_t Agree = 0;    // of those, the ones whose unit and line the lookup gives alike
    // Of Agree, those where addr2line names the compile unit's own source file for a line of a header
    // (its reading of the DWARF 5 file table), the line being the same.
    size_t OwnFileNamed = 0;
    std::vector<TLineDisagreement> Disagreements;
    double Share() const { return WithLine == 0 ? 0.0 : double(Agree) / double(WithLine); }
};

// Addresses spread evenly over the code of the file's function symbols (its own virtual addresses, as
// nm lists them), at most count of them; empty when the file has no symbols.
std::vector<uint64_t> SampleCodeAddresses(const std::string& file, size_t count);

// addr2line's outermost frame ("path:line", perhaps with " (discriminator n)") for each address, asked all
// at once; none when addr2line failed or did not answer for every address.
std::optional<std::vector<std::string>> Addr2lineOutermostFrames(const std::string& file,
                                                                 const std::vector<uint64_t>& addresses);

// Asks addr2line for every address at once and the lookup for each; the lookup gets the address as
// addr2line does (the file's own virtual address).
TLineAgreement CompareWithAddr2line(const std::string& file, const std::vector<uint64_t>& addresses,
                                    const std::function<std::optional<TSourcePosition>(uint64_t)>& lookup);

} // namespace testtools
