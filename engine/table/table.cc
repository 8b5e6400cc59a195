#include "engine/table/table.h"

#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/format/format_error.h"
#include "engine/table/change_journal.h"
#include "engine/table/open_tables.h"
#include "engine/table/table_cursor.h"
#include "engine/table/table_family.h"
#include "engine/table/table_name.h"
#include "engine/table/table_writer.h"

namespace pdx {

namespace fs = std::filesystem;

std::shared_ptr<Table> Table::open(const fs::path& directory, std::string_view name,
                                   Access access) {
    check_table_name(name);
    recover_family_changes(directory);
    auto path = find_table_file(directory, name);
    if (!path) throw vaq::Error("Table does not exist: " + std::string(name) + ".");
    return open_unshared(*path, access);
}

namespace {

TextCodec open_codec(const BlockFile& data) {
    const std::string charset = charset_of(data.header());
    try {
        return TextCodec(charset);
    } catch (const vaq::Error&) {
        throw FormatError(data.name() + " uses the code page " + charset +
                          ", which this system cannot convert.");
    }
}

}  // namespace

std::shared_ptr<Table> Table::open_file(const fs::path& path, Access access) {
    recover_family_changes(path.parent_path());
    return open_unshared(path, access);
}

std::shared_ptr<Table> Table::open_unshared(const fs::path& path, Access access) {
    if (auto open = find_open_table(path)) {
        if (access == Access::kWrite) open->make_writable();
        return open;
    }
    // A change cut off by a crash is undone under the exclusive lock before anyone reads.
    const bool interrupted = fs::exists(ChangeJournal::path_for(path));
    TableLock lock = TableLock::acquire(path, access != Access::kRead || interrupted
                                                  ? TableLock::Mode::kExclusive
                                                  : TableLock::Mode::kShared);
    if (interrupted) ChangeJournal::recover(path);
    if (access == Access::kRead) lock.downgrade();
    if (access != Access::kRead) check_not_open_in_paradox(path);
    BlockFile data = BlockFile::open(
        path, access == Access::kWrite ? File::Mode::kReadWrite : File::Mode::kRead);
    const TableHeader& header = data.header();
    if (!is_table_file(header.file_type))
        throw FormatError(data.name() + " is not a Paradox table (its file type is " +
                          std::to_string(static_cast<int>(header.file_type)) + ").");
    TextCodec codec = open_codec(data);
    std::shared_ptr<Table> table(new Table(path, std::move(data), std::move(codec)));
    table->check_counts();
    table->lock_ = std::move(lock);
    if (access == Access::kWrite) table->writer_ = std::make_unique<TableWriter>(*table);
    register_open_table(table);
    return table;
}

Table::~Table() {
    writer_.reset();
    unregister_open_table(*this);
}

void Table::make_writable() {
    if (writer_) return;
    lock_.upgrade(name());
    try {
        check_not_open_in_paradox(path_);
        data_ = BlockFile::open(path_, File::Mode::kReadWrite);
        writer_ = std::make_unique<TableWriter>(*this);
    } catch (...) {
        lock_.downgrade();
        throw;
    }
}

TableWriter& Table::writer() {
    if (!writer_) throw vaq::Error(name() + " is open for reading only.");
    return *writer_;
}

Table::Table(fs::path path, BlockFile data, TextCodec codec)
    : path_(std::move(path)),
      data_(std::move(data)),
      codec_(std::move(codec)),
      schema_(data_.header(), codec_) {}

// The header's counts must be possible before any block is read; the blocks themselves are
// checked as cursors reach them.
void Table::check_counts() const {
    const TableHeader& h = header();
    if (h.num_records > 0 && h.first_block == 0)
        data_.fail("its header counts " + std::to_string(h.num_records) +
                   " records but names no first block");
    const std::uint64_t capacity = std::uint64_t{h.file_blocks} * h.records_per_block();
    if (h.num_records > capacity)
        data_.fail("its header counts " + std::to_string(h.num_records) +
                   " records, more than its " + std::to_string(h.file_blocks) + " blocks can hold");
}

std::unique_ptr<Cursor> Table::open_cursor() const {
    return std::make_unique<TableCursor>(shared_from_this());
}

const BlobFile& Table::blob_file() const {
    if (!blobs_) {
        auto path = find_family_file(path_, ".MB");
        if (!path)
            throw vaq::Error("The blob file of " + name() + " is missing (" +
                             path_.stem().string() + ".MB).");
        blobs_.emplace(BlobFile::open(*path, header().encryption_key()));
    }
    return *blobs_;
}

std::vector<std::uint8_t> Table::read_blob(const Field& field, Bytes field_bytes) const {
    const std::size_t leader = field.descriptor.blob_leader();
    const BlobPointer pointer = BlobPointer::decode(field_bytes.data() + leader);
    if (pointer.length == 0) return {};
    if (pointer.length <= leader)
        return std::vector<std::uint8_t>(field_bytes.begin(), field_bytes.begin() + pointer.length);
    return blob_file().read(pointer);
}

}  // namespace pdx
