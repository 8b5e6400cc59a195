#pragma once

// What the call interface tells about a table: its properties (CURProps), its fields
// (FLDDesc) and its indexes (IDXDesc, the primary index first, then the secondary indexes in
// file-suffix order), and the counts of its validity checks and referential-integrity links.
//
// Validity checks and links are counted from the .VAL file: byte 2 holds the number of field
// validity entries; u32 0x09 is the offset of the footer and u32 0x0D the offset of the
// referential-integrity part (0 = none), whose entries take 0x1E0 bytes each.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "engine/format/table_header.h"
#include "tutil/family.h"
#include "tutil/records.h"

namespace vaq::tutil {

struct TableDescription {
    std::filesystem::path path;
    pdx::TableHeader header;
    TableFamily family;
    std::vector<FLDDesc> fields;
    std::vector<IDXDesc> indexes;
    std::uint16_t validity_checks = 0;
    std::uint16_t references = 0;

    // Reads the table's header and the headers of its family. Throws vaq::Error naming the
    // file when the table is missing or its header cannot be read.
    static TableDescription read(const std::filesystem::path& table);

    CURProps properties() const;
};

// Copies text into a fixed NUL-terminated field; false (and the field untouched) when it
// does not fit.
template <std::size_t N>
bool copy_text(char (&field)[N], std::string_view text) {
    if (text.size() >= N) return false;
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size());
    return true;
}

}  // namespace vaq::tutil
