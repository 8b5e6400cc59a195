#include "tutil/table_description.h"

#include <cstring>
#include <optional>

#include "common/error.h"
#include "engine/format/block_file.h"
#include "engine/format/file.h"
#include "engine/format/index_header.h"
#include "engine/format/text_codec.h"

namespace vaq::tutil {

namespace fs = std::filesystem;

namespace {

using pdx::FieldType;

constexpr std::int32_t kAllRights = 5;       // read, insert, update, delete, full
constexpr std::int32_t kLogicalFields = 1;   // fields described by their logical types
constexpr std::size_t kRiEntrySize = 0x1E0;  // one referential-integrity entry of the .VAL
constexpr std::uint16_t kLogicalBcdSize = 34;
constexpr std::uint16_t kLogicalBlobSize = 8;
constexpr std::uint16_t kBcdPrecision = 32;

// Text cut at a character boundary so that it fits `size` bytes with its NUL.
std::string fitting_utf8(std::string text, std::size_t size) {
    if (text.size() < size) return text;
    std::size_t end = size - 1;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

template <std::size_t N>
void put_text(char (&field)[N], const std::string& text) {
    const std::string fitting = fitting_utf8(text, N);
    std::memset(field, 0, N);
    std::memcpy(field, fitting.data(), fitting.size());
}

struct LogicalType {
    std::uint16_t type = fldUNKNOWN;
    std::uint16_t sub_type = fldstNONE;
};

LogicalType logical_type(FieldType type) {
    switch (type) {
        case FieldType::kAlpha:
            return {fldZSTRING, fldstNONE};
        case FieldType::kDate:
            return {fldDATE, fldstNONE};
        case FieldType::kShort:
            return {fldINT16, fldstNONE};
        case FieldType::kLong:
            return {fldINT32, fldstNONE};
        case FieldType::kAutoInc:
            return {fldINT32, fldstAUTOINC};
        case FieldType::kMoney:
            return {fldFLOAT, fldstMONEY};
        case FieldType::kNumber:
            return {fldFLOAT, fldstNONE};
        case FieldType::kLogical:
            return {fldBOOL, fldstNONE};
        case FieldType::kMemo:
            return {fldBLOB, fldstMEMO};
        case FieldType::kBlob:
            return {fldBLOB, fldstBINARY};
        case FieldType::kFmtMemo:
            return {fldBLOB, fldstFMTMEMO};
        case FieldType::kOle:
            return {fldBLOB, fldstOLEOBJ};
        case FieldType::kGraphic:
            return {fldBLOB, fldstGRAPHIC};
        case FieldType::kTime:
            return {fldTIME, fldstNONE};
        case FieldType::kTimestamp:
            return {fldTIMESTAMP, fldstNONE};
        case FieldType::kBcd:
            return {fldBCD, fldstNONE};
        case FieldType::kBytes:
            return {fldBYTES, fldstNONE};
    }
    return {};
}

// Bytes a field takes in a record as a caller sees it: text with its NUL, a logical as a
// 16-bit boolean, a decimal in its 34-byte form, a blob as a handle.
std::uint16_t logical_size(const pdx::FieldDescriptor& d) {
    switch (d.type) {
        case FieldType::kAlpha:
            return static_cast<std::uint16_t>(d.size + 1);
        case FieldType::kLogical:
            return 2;
        case FieldType::kBcd:
            return kLogicalBcdSize;
        default:
            if (pdx::is_blob_type(d.type)) return kLogicalBlobSize;
            return static_cast<std::uint16_t>(d.width());
    }
}

std::vector<FLDDesc> describe_fields(const pdx::TableHeader& h, const pdx::TextCodec& codec) {
    std::vector<FLDDesc> fields;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < h.fields.size(); ++i) {
        const pdx::FieldDescriptor& d = h.fields[i].descriptor;
        FLDDesc f{};
        f.iFldNum = static_cast<std::uint16_t>(i + 1);
        put_text(f.szName, codec.to_utf8(h.fields[i].name));
        const LogicalType type = logical_type(d.type);
        f.iFldType = type.type;
        f.iSubType = type.sub_type;
        if (d.type == FieldType::kBcd) {
            f.iUnits1 = kBcdPrecision;
            f.iUnits2 = static_cast<std::int16_t>(d.bcd_decimals());
        } else if (d.type == FieldType::kAlpha || d.type == FieldType::kBytes) {
            f.iUnits1 = static_cast<std::int16_t>(d.size);
        } else if (pdx::is_blob_type(d.type)) {
            f.iUnits1 = static_cast<std::int16_t>(d.blob_leader());
        }
        f.iOffset = static_cast<std::uint16_t>(offset);
        f.iLen = static_cast<std::uint16_t>(d.width());
        f.iUnUsed[0] = static_cast<std::uint16_t>(d.type);
        f.iUnUsed[1] = d.size;
        offset += d.width();
        fields.push_back(f);
    }
    return fields;
}

std::uint16_t block_size_of(const fs::path& file, std::size_t fallback) {
    try {
        return static_cast<std::uint16_t>(pdx::BlockFile::open(file).header().block_size());
    } catch (const vaq::Error&) {
        return static_cast<std::uint16_t>(fallback);
    }
}

IDXDesc primary_index(const pdx::TableHeader& h, const TableFamily& family) {
    IDXDesc idx{};
    put_text(idx.szName, family.table.stem().string() + ".PX");
    if (family.primary_index) put_text(idx.szName, family.primary_index->filename().string());
    idx.iIndexId = 0;
    idx.bPrimary = idx.bUnique = idx.bMaintained = 1;
    idx.iFldsInKey = h.key_fields;
    std::size_t length = 0;
    for (std::size_t i = 0; i < h.key_fields && i < kMaxKeyFields; ++i) {
        idx.aiKeyFld[i] = static_cast<std::uint16_t>(i + 1);
        length += h.fields[i].descriptor.width();
    }
    idx.iKeyLen = static_cast<std::uint16_t>(length);
    idx.iBlockSize = family.primary_index ? block_size_of(*family.primary_index, h.block_size())
                                          : static_cast<std::uint16_t>(h.block_size());
    return idx;
}

IDXDesc secondary_index(const pdx::TableHeader& h, const pdx::TextCodec& codec,
                        const SecondaryFiles& files, std::uint16_t id) {
    IDXDesc idx{};
    idx.iIndexId = id;
    const std::string stem = fs::path(files.index ? *files.index : *files.tree).stem().string();
    put_text(idx.szName,
             files.index ? files.index->filename().string() : stem + files.suffix.extension());
    if (!files.suffix.composite && files.suffix.number <= h.fields.size())
        put_text(idx.szTagName, codec.to_utf8(h.fields[files.suffix.number - 1].name));
    if (!files.index) return idx;
    try {
        const pdx::BlockFile x = pdx::BlockFile::open(*files.index);
        const auto layout = pdx::SecondaryIndexLayout::decode(x.header(), h.key_fields, x.name());
        if (layout.composite) put_text(idx.szTagName, codec.to_utf8(layout.stored_name));
        idx.bUnique = layout.unique;
        idx.bDescending = layout.descending;
        idx.bMaintained = layout.maintained;
        idx.bCaseInsensitive = layout.case_insensitive;
        idx.bOutofDate = !layout.maintained && x.header().num_records != h.num_records;
        idx.iFldsInKey = static_cast<std::uint16_t>(layout.fields.size());
        std::size_t length = 0;
        for (std::size_t i = 0; i < layout.fields.size() && i < kMaxKeyFields; ++i) {
            idx.aiKeyFld[i] = layout.fields[i].table_field;
            idx.abDescending[i] = layout.fields[i].descending;
            if (layout.fields[i].table_field <= h.fields.size())
                length += h.fields[layout.fields[i].table_field - 1].descriptor.width();
        }
        idx.iKeyLen = static_cast<std::uint16_t>(length);
        idx.iBlockSize = static_cast<std::uint16_t>(x.header().block_size());
    } catch (const vaq::Error&) {
        // A damaged index is described by its file name; verify tells what is wrong with it.
    }
    return idx;
}

struct ValidityCounts {
    std::uint16_t checks = 0;
    std::uint16_t references = 0;
};

ValidityCounts count_validity(const std::optional<fs::path>& val) {
    if (!val) return {};
    try {
        const pdx::File file = pdx::File::open(*val);
        std::uint8_t head[0x11] = {};
        if (file.read_at(0, head) < sizeof head) return {};
        ValidityCounts counts;
        counts.checks = head[2];
        const std::uint32_t footer = pdx::load_u32le(head + 0x09);
        const std::uint32_t links = pdx::load_u32le(head + 0x0D);
        const bool has_links_part = head[1] >= pdx::kVersion40 && links != 0 && links < footer;
        if (has_links_part)
            counts.references = static_cast<std::uint16_t>(
                std::max<std::size_t>(1, (footer - links) / kRiEntrySize));
        return counts;
    } catch (const vaq::Error&) {
        return {};
    }
}

}  // namespace

TableDescription TableDescription::read(const fs::path& table) {
    TableDescription d;
    d.path = table;
    d.header = pdx::BlockFile::open(table).header();
    if (!pdx::is_table_file(d.header.file_type))
        throw vaq::Error(table.filename().string() + " is not a Paradox table.");
    d.family = TableFamily::of(table);
    const pdx::TextCodec codec(pdx::charset_of(d.header));
    d.fields = describe_fields(d.header, codec);
    if (d.header.file_type == pdx::FileType::kKeyedTable)
        d.indexes.push_back(primary_index(d.header, d.family));
    std::uint16_t id = 1;
    for (const SecondaryFiles& files : d.family.secondary)
        d.indexes.push_back(secondary_index(d.header, codec, files, id++));
    const ValidityCounts counts = count_validity(d.family.validity);
    d.validity_checks = counts.checks;
    d.references = counts.references;
    return d;
}

CURProps TableDescription::properties() const {
    const pdx::TableHeader& h = header;
    CURProps p{};
    const std::string name = path.string();
    put_text(p.szName, name);
    p.iFNameSize = static_cast<std::uint16_t>(std::min(name.size(), kTableNameSize - 1));
    put_text(p.szTableType, "PARADOX");
    p.iFields = static_cast<std::uint16_t>(fields.size());
    std::size_t logical = 0;
    for (const pdx::FieldDef& f : h.fields)
        logical += logical_size(f.descriptor);
    p.iRecSize = static_cast<std::uint16_t>(logical);
    p.iRecBufSize = h.record_size;
    const bool keyed = h.file_type == pdx::FileType::kKeyedTable;
    p.iKeySize = keyed && !indexes.empty() ? indexes.front().iKeyLen : 0;
    p.iIndexes = static_cast<std::uint16_t>(indexes.size());
    p.iValChecks = validity_checks;
    p.iRefIntChecks = references;
    p.iBookMarkSize = 16;
    p.bBookMarkStable = keyed;
    p.bIndexed = keyed;
    p.iSeqNums = 1;
    p.exltMode = kLogicalFields;
    p.iRestrVersion = h.family_stamp;
    p.eprvRights = kAllRights;
    p.iFmlRights = 0;
    p.iPasswords = h.image.size() > 0x3D ? h.image[0x3D] : 0;
    p.iCodePage = h.code_page;
    p.bProtected = h.is_encrypted();
    p.iTblLevel = static_cast<std::uint16_t>(h.level());
    // Level 3 tables name no driver; their sort-order byte 0 is 'ascii'.
    if (!h.sort_order_id.empty())
        put_text(p.szLangDriver, h.sort_order_id);
    else if (h.sort_order == 0)
        put_text(p.szLangDriver, "ascii");
    p.iBlockSize = static_cast<std::uint16_t>(h.block_size());
    return p;
}

}  // namespace vaq::tutil
