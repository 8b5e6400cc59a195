#include "engine/format/table_header.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "engine/format/format_error.h"

namespace pdx {

bool is_table_file(FileType type) {
    return type == FileType::kKeyedTable || type == FileType::kUnkeyedTable;
}

bool is_index_tree_file(FileType type) {
    return type == FileType::kPrimaryIndex || type == FileType::kSecondaryIndexTree ||
           type == FileType::kCompositeIndexTree;
}

bool is_secondary_data_file(FileType type) {
    return type == FileType::kSecondaryIndexSnapshot ||
           type == FileType::kSecondaryIndexMaintained ||
           type == FileType::kCompositeIndexSnapshot || type == FileType::kCompositeIndexMaintained;
}

int table_level(std::uint8_t file_version) {
    if (file_version <= kVersion35) return 3;
    if (file_version <= kVersion40) return 4;
    if (file_version <= kVersion50) return 5;
    return 7;
}

namespace {

// Field offsets of the fixed part and the extension.
enum Offset : std::size_t {
    kRecordSize = 0x00,
    kHeaderSize = 0x02,
    kFileType = 0x04,
    kBlockSizeCode = 0x05,
    kNumRecords = 0x06,
    kBlocksInUse = 0x0A,
    kFileBlocks = 0x0C,
    kFirstBlock = 0x0E,
    kLastBlock = 0x10,
    kModifiedFlags1 = 0x14,
    kIndexFieldNumber = 0x15,
    kIndexRoot = 0x1E,
    kIndexLevels = 0x20,
    kNumFields = 0x21,
    kKeyFields = 0x23,
    kEncryption1 = 0x25,
    kSortOrder = 0x29,
    kModifiedFlags2 = 0x2A,
    kIndexStamp = 0x2C,
    kChangeCount1 = 0x2D,
    kFamilyStamp = 0x2E,
    kIndexSyncStamp = 0x2F,
    kWriteProtected = 0x38,
    kFileVersion = 0x39,
    kAutoInc = 0x49,
    kFirstFreeBlock = 0x4D,
    kIndexUpdateRequired = 0x4F,
    kRealHeaderSize = 0x51,
    kIndexFlags = 0x55,
    kFileVersion2 = 0x58,
    kFileVersion3 = 0x5A,
    kEncryption2 = 0x5C,
    kUpdateTime = 0x60,
    kHiFieldId = 0x64,
    kFieldNumbersOffset = 0x66,  // minus 0x58
    kIndexNameOffset = 0x68,     // minus 0x58, XGn files
    kCodePage = 0x6A,
    kSortOrderIdOffset = 0x6E,  // minus 0x58
};

constexpr std::uint8_t kMaxFileType = 8;
constexpr std::uint8_t kMaxBlockSizeCode = 32;
constexpr std::size_t kMaxFields = 1024;

bool is_composite_index(FileType type) {
    return type == FileType::kCompositeIndexSnapshot || type == FileType::kCompositeIndexMaintained;
}

// Walks the variable part of a header with bounds checks; every failure names the file.
class HeaderParser {
  public:
    HeaderParser(Bytes bytes, std::string_view file) : bytes_(bytes), file_(file) {}

    [[noreturn]] void fail(const std::string& what) const {
        throw FormatError("The header of " + std::string(file_) + " is damaged: " + what + ".");
    }

    const std::uint8_t* take(std::size_t& pos, std::size_t n, const char* what) const {
        if (pos > bytes_.size() || n > bytes_.size() - pos)
            fail(std::string("the ") + what + " run past the end of the header");
        const std::uint8_t* p = bytes_.data() + pos;
        pos += n;
        return p;
    }

    // A NUL-terminated string that must end inside the header.
    std::string c_string(std::size_t& pos, const char* what) const {
        if (pos >= bytes_.size()) fail(std::string("the ") + what + " lies outside the header");
        const auto* begin = bytes_.data() + pos;
        const auto* end =
            static_cast<const std::uint8_t*>(std::memchr(begin, 0, bytes_.size() - pos));
        if (end == nullptr) fail(std::string("the ") + what + " is not terminated");
        pos += static_cast<std::size_t>(end - begin) + 1;
        return std::string(reinterpret_cast<const char*>(begin),
                           static_cast<std::size_t>(end - begin));
    }

    // A string in a fixed NUL-padded area.
    static std::string padded_string(const std::uint8_t* p, std::size_t n) {
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, n));
        return std::string(reinterpret_cast<const char*>(p),
                           end ? static_cast<std::size_t>(end - p) : n);
    }

  private:
    Bytes bytes_;
    std::string_view file_;
};

void decode_fixed_part(const std::uint8_t* p, TableHeader& h) {
    h.record_size = load_u16le(p + kRecordSize);
    h.header_size = load_u16le(p + kHeaderSize);
    h.file_type = static_cast<FileType>(p[kFileType]);
    h.block_size_code = p[kBlockSizeCode];
    h.num_records = load_u32le(p + kNumRecords);
    h.blocks_in_use = load_u16le(p + kBlocksInUse);
    h.file_blocks = load_u16le(p + kFileBlocks);
    h.first_block = load_u16le(p + kFirstBlock);
    h.last_block = load_u16le(p + kLastBlock);
    h.modified_flags1 = p[kModifiedFlags1];
    h.index_field_number = p[kIndexFieldNumber];
    h.index_root = load_u16le(p + kIndexRoot);
    h.index_levels = p[kIndexLevels];
    h.key_fields = load_u16le(p + kKeyFields);
    h.encryption1 = load_u32le(p + kEncryption1);
    h.sort_order = p[kSortOrder];
    h.modified_flags2 = p[kModifiedFlags2];
    h.index_stamp = p[kIndexStamp];
    h.change_count1 = p[kChangeCount1];
    h.family_stamp = p[kFamilyStamp];
    h.index_sync_stamp = p[kIndexSyncStamp];
    h.write_protected = p[kWriteProtected];
    h.file_version = p[kFileVersion];
    h.auto_inc = load_u32le(p + kAutoInc);
    h.first_free_block = load_u16le(p + kFirstFreeBlock);
    h.index_update_required = p[kIndexUpdateRequired];
    h.index_flags = p[kIndexFlags];
}

void check_fixed_part(const TableHeader& h, std::size_t available, const HeaderParser& parser) {
    if (static_cast<std::uint8_t>(h.file_type) > kMaxFileType)
        parser.fail("file type " + std::to_string(static_cast<int>(h.file_type)) +
                    " is not a Paradox file type");
    if (h.file_version < kVersion30 || h.file_version > kVersion70)
        parser.fail("file version " + std::to_string(h.file_version) + " is unknown");
    if (h.block_size_code < 1 || h.block_size_code > kMaxBlockSizeCode)
        parser.fail("block size code " + std::to_string(h.block_size_code) +
                    " is outside 1 to 32 KiB");
    if (h.record_size == 0) parser.fail("the record size is 0");
    if (h.header_size < kFixedHeaderSize)
        parser.fail("the header size " + std::to_string(h.header_size) + " is too small");
    if (available < h.header_size)
        parser.fail("the file ends at byte " + std::to_string(available) +
                    ", inside its header of " + std::to_string(h.header_size) + " bytes");
    if (h.record_size + std::size_t{6} > h.block_size())
        parser.fail("a record of " + std::to_string(h.record_size) +
                    " bytes does not fit in a block of " + std::to_string(h.block_size()));
}

void decode_extension(const std::uint8_t* p, TableHeader& h) {
    h.encryption2 = load_u32le(p + kEncryption2);
    h.update_time = load_u32le(p + kUpdateTime);
    h.hi_field_id = load_u16le(p + kHiFieldId);
    h.code_page = load_u16le(p + kCodePage);
}

void check_record_size(const TableHeader& h, const HeaderParser& parser) {
    const std::size_t expected = h.fields_width() + (is_index_tree_file(h.file_type) ? 6 : 0);
    if (expected != h.record_size)
        parser.fail("the record size " + std::to_string(h.record_size) +
                    " does not match its fields (" + std::to_string(expected) + " bytes)");
}

// The key fields lead the field list, so their count cannot exceed it; a keyed table has at
// least one.
void check_key_fields(const TableHeader& h, const HeaderParser& parser) {
    if (h.key_fields > h.fields.size())
        parser.fail("the header counts " + std::to_string(h.key_fields) + " key fields but " +
                    std::to_string(h.fields.size()) + " fields");
    if (h.file_type == FileType::kKeyedTable && h.key_fields == 0)
        parser.fail("it is keyed but counts no key fields");
}

// Every field of a table is known by its name: statements, exports and the names of
// single-field indexes use it.
void check_field_names(const TableHeader& h, const HeaderParser& parser) {
    if (h.file_type != FileType::kKeyedTable && h.file_type != FileType::kUnkeyedTable) return;
    for (std::size_t i = 0; i < h.fields.size(); ++i)
        if (h.fields[i].name.empty())
            parser.fail("field " + std::to_string(i + 1) + " has no name");
}

}  // namespace

bool TableHeader::has_extension() const {
    return !is_index_tree_file(file_type) && file_version >= 0x05;
}

std::size_t TableHeader::variable_part_offset() const {
    return has_extension() ? kExtendedHeaderSize : kFixedHeaderSize;
}

std::uint32_t TableHeader::encryption_key() const {
    if (file_version <= kVersion35 || is_index_tree_file(file_type)) return encryption1;
    return has_extension() ? encryption2 : 0;
}

std::size_t TableHeader::fields_width() const {
    std::size_t total = 0;
    for (const FieldDef& f : fields)
        total += f.descriptor.width();
    return total;
}

TableHeader TableHeader::decode(Bytes bytes, std::string_view file) {
    HeaderParser parser(bytes, file);
    if (bytes.size() < kFixedHeaderSize)
        throw FormatError("The file " + std::string(file) + " is too short (" +
                          std::to_string(bytes.size()) + " bytes) to be a Paradox table.");
    TableHeader h;
    const std::uint8_t* p = bytes.data();
    decode_fixed_part(p, h);
    check_fixed_part(h, bytes.size(), parser);
    bytes = bytes.first(h.header_size);
    HeaderParser in_header(bytes, file);
    h.image.assign(bytes.begin(), bytes.end());

    const std::size_t num_fields = load_u16le(p + kNumFields);
    if (num_fields == 0 || num_fields > kMaxFields)
        in_header.fail("it declares " + std::to_string(num_fields) + " fields");
    if (h.has_extension()) {
        if (h.header_size < kExtendedHeaderSize) in_header.fail("the header is too small");
        decode_extension(p, h);
    }

    std::size_t pos = h.variable_part_offset();
    h.fields.resize(num_fields);
    for (FieldDef& f : h.fields) {
        f.descriptor = FieldDescriptor::decode(in_header.take(pos, 2, "field descriptors"));
        if (auto problem = f.descriptor.problem()) in_header.fail(*problem);
    }
    check_record_size(h, in_header);
    check_key_fields(h, in_header);
    h.table_name_pointer = load_u32le(in_header.take(pos, 4, "table name pointer"));
    if (h.has_field_names())
        for (FieldDef& f : h.fields)
            f.name_pointer = load_u32le(in_header.take(pos, 4, "field name pointers"));
    const std::size_t name_length = h.table_name_length();
    h.table_name =
        HeaderParser::padded_string(in_header.take(pos, name_length, "table name"), name_length);
    if (h.has_field_names())
        for (FieldDef& f : h.fields)
            f.name = in_header.c_string(pos, "field names");
    check_field_names(h, in_header);
    const std::size_t names_end = pos;

    if (h.has_field_numbers()) {
        std::size_t numbers_at = kFixedHeaderSize + load_u16le(p + kFieldNumbersOffset);
        if (numbers_at < names_end) in_header.fail("the field-number array overlaps the names");
        h.crypt_info.assign(p + names_end, p + std::min<std::size_t>(numbers_at, h.header_size));
        for (FieldDef& f : h.fields)
            f.number = load_u16le(in_header.take(numbers_at, 2, "field numbers"));
        std::size_t sort_at = kFixedHeaderSize + load_u16le(p + kSortOrderIdOffset);
        if (sort_at < numbers_at) in_header.fail("the sort-order id overlaps the field numbers");
        h.sort_order_id = in_header.c_string(sort_at, "sort-order id");
        const std::uint16_t index_name_offset = load_u16le(p + kIndexNameOffset);
        if (is_composite_index(h.file_type) && index_name_offset != 0) {
            std::size_t name_at = kFixedHeaderSize + index_name_offset;
            h.index_name = in_header.c_string(name_at, "index name");
        }
    } else if (h.has_field_names()) {
        // Level 3.x: realHeaderSize (0 at 3.0) covers a few bytes after the names.
        const std::size_t real_size = load_u16le(p + kRealHeaderSize);
        if (real_size > names_end && real_size <= h.header_size)
            h.crypt_info.assign(p + names_end, p + real_size);
    }
    return h;
}

std::size_t TableHeader::content_size() const {
    const std::size_t n = fields.size();
    std::size_t size = variable_part_offset() + 2 * n + 4 + table_name_length();
    if (has_field_names()) {
        size += 4 * n;
        for (const FieldDef& f : fields)
            size += f.name.size() + 1;
        size += crypt_info.size();
    }
    if (has_field_numbers()) {
        size += 2 * n + sort_order_id.size() + 1;
        if (is_composite_index(file_type) && !index_name.empty()) size += index_name.size() + 1;
    }
    return size;
}

std::size_t TableHeader::required_header_size() const {
    const std::size_t size = content_size();
    if (file_version == kVersion30) return size;
    return (size + kHeaderSizeUnit - 1) / kHeaderSizeUnit * kHeaderSizeUnit;
}

namespace {

class HeaderWriter {
  public:
    explicit HeaderWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    std::size_t pos = 0;

    void bytes(const void* data, std::size_t n) {
        if (n == 0) return;
        std::memcpy(out_.data() + pos, data, n);
        pos += n;
    }
    void u16(std::uint16_t v) {
        store_u16le(out_.data() + pos, v);
        pos += 2;
    }
    void u32(std::uint32_t v) {
        store_u32le(out_.data() + pos, v);
        pos += 4;
    }
    void c_string(const std::string& s) {
        bytes(s.data(), s.size());
        out_[pos++] = 0;
    }
    void padded(const std::string& s, std::size_t n) {
        const std::size_t used = std::min(s.size(), n - 1);
        std::memcpy(out_.data() + pos, s.data(), used);
        std::memset(out_.data() + pos + used, 0, n - used);
        pos += n;
    }

  private:
    std::vector<std::uint8_t>& out_;
};

void encode_fixed_part(const TableHeader& h, std::uint8_t* p) {
    store_u16le(p + kRecordSize, h.record_size);
    store_u16le(p + kHeaderSize, h.header_size);
    p[kFileType] = static_cast<std::uint8_t>(h.file_type);
    p[kBlockSizeCode] = h.block_size_code;
    store_u32le(p + kNumRecords, h.num_records);
    store_u16le(p + kBlocksInUse, h.blocks_in_use);
    store_u16le(p + kFileBlocks, h.file_blocks);
    store_u16le(p + kFirstBlock, h.first_block);
    store_u16le(p + kLastBlock, h.last_block);
    p[kModifiedFlags1] = h.modified_flags1;
    p[kIndexFieldNumber] = h.index_field_number;
    store_u16le(p + kIndexRoot, h.index_root);
    p[kIndexLevels] = h.index_levels;
    store_u16le(p + kNumFields, static_cast<std::uint16_t>(h.fields.size()));
    store_u16le(p + kKeyFields, h.key_fields);
    store_u32le(p + kEncryption1, h.encryption1);
    p[kSortOrder] = h.sort_order;
    p[kModifiedFlags2] = h.modified_flags2;
    p[kIndexStamp] = h.index_stamp;
    p[kChangeCount1] = h.change_count1;
    p[kFamilyStamp] = h.family_stamp;
    p[kIndexSyncStamp] = h.index_sync_stamp;
    p[kWriteProtected] = h.write_protected;
    p[kFileVersion] = h.file_version;
    store_u32le(p + kAutoInc, h.auto_inc);
    store_u16le(p + kFirstFreeBlock, h.first_free_block);
    p[kIndexUpdateRequired] = h.index_update_required;
    p[kIndexFlags] = h.index_flags;
}

// The BDE leaves stale bytes after the NUL of the table name; an unchanged name is written
// back with them, a new one is padded with zeros.
void write_table_name(const TableHeader& h, HeaderWriter& w) {
    const std::size_t length = h.table_name_length();
    if (h.image.size() >= kFixedHeaderSize) {
        const std::size_t old_fields = load_u16le(h.image.data() + kNumFields);
        const std::size_t old_at = h.variable_part_offset() + 2 * old_fields + 4 +
                                   (h.has_field_names() ? 4 * old_fields : 0);
        if (old_at + length <= h.image.size() &&
            HeaderParser::padded_string(h.image.data() + old_at, length) == h.table_name) {
            w.bytes(h.image.data() + old_at, length);
            return;
        }
    }
    w.padded(h.table_name, length);
}

}  // namespace

std::vector<std::uint8_t> TableHeader::encode() const {
    if (header_size < required_header_size())
        throw std::logic_error("header size " + std::to_string(header_size) +
                               " is too small for the header content");
    std::vector<std::uint8_t> out(header_size, 0);
    std::copy_n(image.begin(), std::min<std::size_t>(image.size(), variable_part_offset()),
                out.begin());
    std::uint8_t* p = out.data();
    encode_fixed_part(*this, p);
    if (has_extension()) {
        store_u16le(p + kFileVersion2, static_cast<std::uint16_t>(0x0100 + file_version));
        store_u16le(p + kFileVersion3, static_cast<std::uint16_t>(0x0100 + file_version));
        store_u32le(p + kEncryption2, encryption2);
        store_u32le(p + kUpdateTime, update_time);
        store_u16le(p + kHiFieldId, hi_field_id);
        store_u16le(p + kCodePage, code_page);
    }

    HeaderWriter w(out);
    w.pos = variable_part_offset();
    for (const FieldDef& f : fields) {
        f.descriptor.encode(p + w.pos);
        w.pos += FieldDescriptor::kEncodedSize;
    }
    w.u32(table_name_pointer);
    if (has_field_names())
        for (const FieldDef& f : fields)
            w.u32(f.name_pointer);
    write_table_name(*this, w);
    if (has_field_names()) {
        for (const FieldDef& f : fields)
            w.c_string(f.name);
        w.bytes(crypt_info.data(), crypt_info.size());
    }
    if (has_field_numbers()) {
        store_u16le(p + kFieldNumbersOffset, static_cast<std::uint16_t>(w.pos - kFixedHeaderSize));
        for (const FieldDef& f : fields)
            w.u16(f.number);
        store_u16le(p + kSortOrderIdOffset, static_cast<std::uint16_t>(w.pos - kFixedHeaderSize));
        w.c_string(sort_order_id);
        if (is_composite_index(file_type) && !index_name.empty()) {
            store_u16le(p + kIndexNameOffset, static_cast<std::uint16_t>(w.pos - kFixedHeaderSize));
            w.c_string(index_name);
        } else {
            store_u16le(p + kIndexNameOffset, 0);
        }
    }
    // realHeaderSize: 0 in level 3.0 files, the end of the content elsewhere.
    store_u16le(p + kRealHeaderSize,
                file_version == kVersion30 ? std::uint16_t{0} : static_cast<std::uint16_t>(w.pos));
    return out;
}

}  // namespace pdx
