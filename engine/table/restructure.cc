#include "engine/table/restructure.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "common/error.h"
#include "engine/format/block_image.h"
#include "engine/format/field_codec.h"
#include "engine/format/header_counters.h"
#include "engine/format/new_table.h"
#include "engine/table/blob_store.h"
#include "engine/table/crash_points.h"
#include "engine/table/cursor.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/index_key_order.h"
#include "engine/table/index_maintenance.h"
#include "engine/table/open_tables.h"
#include "engine/table/primary_index_writer.h"
#include "engine/table/table.h"
#include "engine/table/table_family.h"
#include "engine/table/table_lock.h"
#include "engine/table/table_name.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

// Blocks written with one call.
constexpr std::size_t kBlocksPerWrite = 256;
// Bytes written between two requests that the disk take the new file's pages.
constexpr std::size_t kWritebackEvery = std::size_t{4} << 20;

// How one field of the new record is filled.
struct FieldStep {
    enum class Kind { kCopy, kBlob, kConvert, kEmpty, kNumber } kind = Kind::kEmpty;
    std::size_t from = 0;   // offset in the old record (kCopy) or old field index
    std::size_t to = 0;     // offset in the new record
    std::size_t width = 0;  // bytes copied (kCopy)
    std::size_t new_field = 0;
};

TableLanguage language_of(const TableHeader& h, int new_level) {
    TableLanguage language;
    language.sort_order = h.sort_order;
    if (h.has_extension()) {
        language.sort_order_id = h.sort_order_id;
        language.code_page = h.code_page;
    } else if (new_level > 3 && h.sort_order != 0) {
        throw vaq::Error("The sort order of " + std::string(h.table_name) +
                         " has no name at level 4 and above; it cannot be restructured to a "
                         "higher level.");
    } else {
        language.code_page = 437;
    }
    return language;
}

KeyOrder key_order_of(const TableHeader& header) {
    std::vector<KeyOrder::Part> parts;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < header.key_fields; ++i) {
        parts.push_back({offset, header.fields[i].descriptor, false});
        offset += header.fields[i].descriptor.width();
    }
    return KeyOrder(std::move(parts), alpha_collation_of(header), false);
}

// Writes data blocks one after the other, every block full except the last.
class DataBlockWriter {
  public:
    DataBlockWriter(File& file, const TableHeader& header, std::size_t key_length)
        : file_(file),
          header_(header),
          key_length_(key_length),
          per_block_(header.records_per_block()) {}

    void add(const std::uint8_t* record) {
        if (!current_ || current_->count() == per_block_) start_block();
        current_->insert(current_->count(), record);
        if (current_->count() == 1) leaves_.back().key.assign(record, record + key_length_);
        ++leaves_.back().count;
    }

    // Writes what is left; returns the level-1 entries of the blocks written.
    std::vector<IndexLeaf> finish() {
        if (current_) {
            current_->set_next(0);
            append_current();
        }
        flush();
        return leaves_;  // a copy: blocks() still counts them afterwards
    }

    std::uint16_t blocks() const { return static_cast<std::uint16_t>(leaves_.size()); }

  private:
    void start_block() {
        if (leaves_.size() >= 0xFFFF)
            throw vaq::Error("Table is full: the records need more than 65535 blocks.");
        const auto number = static_cast<std::uint16_t>(leaves_.size() + 1);
        if (current_) {
            current_->set_next(number);
            append_current();
        }
        current_.emplace(number, header_.block_size(), header_.record_size);
        current_->set_prev(static_cast<std::uint16_t>(number - 1));
        leaves_.push_back({number, {}, 0});
    }

    void append_current() {
        if (pending_.empty()) pending_first_ = current_->number();
        const auto& bytes = current_->encode();
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        if (pending_.size() >= kBlocksPerWrite * header_.block_size()) flush();
    }

    void flush() {
        if (pending_.empty()) return;
        file_.write_at(header_.block_offset(pending_first_), pending_);
        written_since_writeback_ += pending_.size();
        pending_.clear();
        crash_point("blocks written");
        // The new table goes to the disk while the rest is converted, so that the flush
        // before the swap finds little left to write.
        if (written_since_writeback_ >= kWritebackEvery) {
            file_.start_writeback();
            written_since_writeback_ = 0;
        }
    }

    File& file_;
    const TableHeader& header_;
    std::size_t key_length_;
    std::size_t per_block_;
    std::optional<BlockImage> current_;
    std::vector<IndexLeaf> leaves_;
    std::vector<std::uint8_t> pending_;
    std::uint32_t pending_first_ = 1;
    std::size_t written_since_writeback_ = 0;
};

class Restructure {
  public:
    Restructure(const Table& old_table, const RestructurePlan& plan, TableHeader header)
        : old_(old_table), plan_(plan), header_(std::move(header)) {
        std::size_t offset = 0;
        for (std::size_t i = 0; i < header_.fields.size(); ++i) {
            FieldStep step;
            step.to = offset;
            step.new_field = i;
            const FieldDescriptor& d = header_.fields[i].descriptor;
            const auto& source = plan_.fields[i].source;
            if (!source) {
                step.kind = d.type == FieldType::kAutoInc ? FieldStep::Kind::kNumber
                                                          : FieldStep::Kind::kEmpty;
            } else {
                const Field& old = old_.schema()[*source];
                if (old.descriptor == d && is_blob_type(d.type)) {
                    step.kind = FieldStep::Kind::kBlob;
                    step.from = *source;
                } else if (old.descriptor == d) {
                    step.kind = FieldStep::Kind::kCopy;
                    step.from = old.offset;
                    step.width = d.width();
                } else {
                    step.kind = FieldStep::Kind::kConvert;
                    step.from = *source;
                }
            }
            offset += d.width();
            add_step(step);
        }
        for (const RestructureField& f : plan_.fields)
            needs_blobs_ = needs_blobs_ || is_blob_type(f.spec.type);
        fields_ = Schema(header_, old_.codec());
    }

    bool needs_blob_file() const { return needs_blobs_; }

    // Fills `out` (the new record) from `old_record`.
    void convert(Bytes old_record, std::uint8_t* out, BlobFileBuilder* blobs,
                 std::uint32_t number) {
        std::memset(out, 0, header_.record_size);
        for (const FieldStep& step : steps_) {
            switch (step.kind) {
                case FieldStep::Kind::kCopy:
                    std::memcpy(out + step.to, old_record.data() + step.from, step.width);
                    break;
                case FieldStep::Kind::kEmpty:
                    break;
                case FieldStep::Kind::kNumber:
                    encode_long(static_cast<std::int32_t>(number), out + step.to);
                    break;
                case FieldStep::Kind::kBlob:
                    copy_blob(step, old_record, out, blobs);
                    break;
                case FieldStep::Kind::kConvert:
                    convert_value(step, old_record, out, blobs);
                    break;
            }
        }
        track_auto_increment(out);
    }

    std::uint32_t highest_auto_increment() const { return highest_auto_increment_; }

  private:
    void add_step(const FieldStep& step) {
        // Neighbouring copies of neighbouring fields become one copy.
        if (step.kind == FieldStep::Kind::kCopy && !steps_.empty()) {
            FieldStep& last = steps_.back();
            if (last.kind == FieldStep::Kind::kCopy && last.from + last.width == step.from &&
                last.to + last.width == step.to) {
                last.width += step.width;
                return;
            }
        }
        steps_.push_back(step);
    }

    void put_blob(const Field& field, const std::vector<std::uint8_t>& value, std::uint8_t* out,
                  BlobFileBuilder* blobs) {
        std::uint8_t* bytes = out + field.offset;
        std::memset(bytes, 0, field.width());
        if (value.empty()) return;
        const std::size_t leader = field.descriptor.blob_leader();
        std::memcpy(bytes, value.data(), std::min(leader, value.size()));
        BlobPointer pointer;
        pointer.length = static_cast<std::uint32_t>(value.size());
        if (value.size() > leader) pointer = blobs->add(value);
        pointer.encode(bytes + leader);
    }

    void copy_blob(const FieldStep& step, Bytes old_record, std::uint8_t* out,
                   BlobFileBuilder* blobs) {
        const Field& old = old_.schema()[step.from];
        const Bytes bytes = old_record.subspan(old.offset, old.width());
        put_blob(fields_[step.new_field], old_.read_blob(old, bytes), out, blobs);
    }

    void convert_value(const FieldStep& step, Bytes old_record, std::uint8_t* out,
                       BlobFileBuilder* blobs) {
        const Field& old = old_.schema()[step.from];
        const Field& target = fields_[step.new_field];
        const Value value(old_, old, old_record.subspan(old.offset, old.width()));
        if (is_blob_type(target.type())) {
            std::vector<std::uint8_t> bytes;
            if (is_blob_type(old.type()) || old.type() == FieldType::kBytes)
                bytes = value.blob();
            else if (old.type() == FieldType::kAlpha) {
                const std::string text = value.alpha_bytes();
                bytes.assign(text.begin(), text.end());
            } else
                bytes = blob_from_input(old_, target, value.as_text());
            put_blob(target, bytes, out, blobs);
            return;
        }
        std::string text;
        if (old.type() == FieldType::kAlpha && target.type() == FieldType::kAlpha)
            text = old_.codec().to_utf8(value.alpha_bytes());
        else
            text = value.as_text();
        try {
            encode_field_input(old_, target, text,
                               MutableBytes(out + target.offset, target.width()));
        } catch (const vaq::Error& e) {
            throw vaq::Error(std::string(e.what()) + " The table was not restructured.");
        }
    }

    void track_auto_increment(const std::uint8_t* record) {
        for (const Field& f : fields_.fields()) {
            if (f.type() != FieldType::kAutoInc) continue;
            if (auto v = decode_long(record + f.offset); v && *v > 0)
                highest_auto_increment_ =
                    std::max(highest_auto_increment_, static_cast<std::uint32_t>(*v));
        }
    }

    const Table& old_;
    const RestructurePlan& plan_;
    TableHeader header_;
    Schema fields_;
    std::vector<FieldStep> steps_;
    bool needs_blobs_ = false;
    std::uint32_t highest_auto_increment_ = 0;
};

// True when the old table order is already the order of the new primary key.
bool keeps_key_order(const Table& old, const RestructurePlan& plan, const TableHeader& header) {
    if (plan.key_fields == 0) return true;
    if (plan.key_fields == 1 && !plan.fields[0].source &&
        header.fields[0].descriptor.type == FieldType::kAutoInc)
        return true;  // numbered in table order
    if (!old.is_keyed() || old.schema().key_fields() != plan.key_fields) return false;
    for (std::size_t i = 0; i < plan.key_fields; ++i)
        if (plan.fields[i].source != i || old.schema()[i].descriptor != header.fields[i].descriptor)
            return false;
    return true;
}

void check_plan(const Table& old, const RestructurePlan& plan) {
    for (const RestructureField& f : plan.fields)
        if (f.source && *f.source >= old.schema().size())
            throw vaq::Error("The restructure of " + old.name() + " takes field " + f.spec.name +
                             " from a field the table does not have.");
}

}  // namespace

RestructurePlan current_layout(const Table& table) {
    RestructurePlan plan;
    for (const Field& f : table.schema().fields())
        plan.fields.push_back({{f.name, f.type(), f.descriptor.size}, f.index});
    plan.key_fields = table.schema().key_fields();
    return plan;
}

void restructure_table(const fs::path& directory, std::string_view name,
                       const RestructurePlan& plan) {
    recover_family_changes(directory);
    const auto path = find_table_file(directory, name);
    if (!path) throw vaq::Error("Table does not exist: " + std::string(name) + ".");
    if (is_table_open(*path)) throw vaq::Error(table_busy_message(path->filename().string()));
    const std::shared_ptr<Table> old = Table::open_file(*path, Access::kExclusive);
    check_plan(*old, plan);
    const TableHeader& old_header = old->header();
    if (old->is_encrypted())
        throw vaq::Error(old->name() + " is protected by a password; it was not restructured.");

    TableSpec spec;
    for (const RestructureField& f : plan.fields)
        spec.fields.push_back(f.spec);
    spec.key_fields = plan.key_fields;
    CreateOptions options;
    options.level = old->header().level();
    options.block_size = static_cast<int>(old_header.block_size());
    const int level = check_table_spec(spec, options, old->name());
    TableHeader header =
        layout_table(spec, level, options.block_size, language_of(old_header, level), old->name());

    const std::vector<fs::path> old_family = family_files(*path);
    const std::vector<fs::path> old_indexes = secondary_index_files(*path);
    if (!old_indexes.empty() && !index_rebuilder())
        throw vaq::Error(old->name() +
                         " has secondary indexes, which this engine cannot rebuild yet; it was "
                         "not restructured.");

    const std::string stem = path->stem().string();
    const auto companion = [&](std::string_view extension) {
        // A companion keeps the spelling it had; a new one follows the .DB.
        for (const fs::path& f : old_family)
            if (same_file_name(f.extension().string(), extension)) return f.filename().string();
        return stem + std::string(extension);
    };

    StagedFamily staged(directory);
    const fs::path new_table = staged.path_of(path->filename().string());
    File data = File::create(new_table);
    Restructure converter(*old, plan, header);
    std::optional<BlobFileBuilder> blobs;
    if (converter.needs_blob_file()) blobs.emplace(staged.path_of(companion(".MB")));

    const std::size_t record_size = header.record_size;
    const std::size_t key_length = std::accumulate(
        header.fields.begin(), header.fields.begin() + plan.key_fields, std::size_t{0},
        [](std::size_t sum, const FieldDef& f) { return sum + f.descriptor.width(); });
    DataBlockWriter writer(data, header, key_length);
    std::vector<std::uint8_t> record(record_size);
    std::uint32_t count = 0;
    if (keeps_key_order(*old, plan, header)) {
        for (auto cursor = old->open_cursor(); !cursor->eof(); cursor->next()) {
            converter.convert(cursor->record(), record.data(), blobs ? &*blobs : nullptr, ++count);
            writer.add(record.data());
        }
    } else {
        std::vector<std::uint8_t> all;
        all.reserve(std::size_t{old->record_count()} * record_size);
        for (auto cursor = old->open_cursor(); !cursor->eof(); cursor->next()) {
            converter.convert(cursor->record(), record.data(), blobs ? &*blobs : nullptr, ++count);
            all.insert(all.end(), record.begin(), record.end());
        }
        const KeyOrder order = key_order_of(header);
        std::vector<std::uint32_t> sorted(count);
        std::iota(sorted.begin(), sorted.end(), 0u);
        const auto at = [&](std::uint32_t i) {
            return Bytes(all).subspan(std::size_t{i} * record_size, record_size);
        };
        std::stable_sort(sorted.begin(), sorted.end(), [&](std::uint32_t a, std::uint32_t b) {
            const auto result = order.certain_compare(at(a), at(b));
            if (!result)
                throw vaq::Error("The sort order " + header.sort_order_id + " of " + old->name() +
                                 " cannot order the values of the new primary key; the table "
                                 "was not restructured.");
            return *result < 0;
        });
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            if (i > 0 && order.same_key(at(sorted[i - 1]), at(sorted[i])))
                throw vaq::Error("Key violation in " + old->name() + ".");
            writer.add(at(sorted[i]).data());
        }
    }
    const std::vector<IndexLeaf> leaves = writer.finish();
    if (blobs) blobs->finish();

    header.num_records = count;
    header.blocks_in_use = writer.blocks();
    set_file_blocks(header, writer.blocks());
    header.first_block = writer.blocks() > 0 ? 1 : 0;
    header.last_block = writer.blocks();
    header.auto_inc = std::max(old_header.auto_inc, converter.highest_auto_increment());
    if (level <= 4 && old_header.level() <= 4) header.auto_inc = old_header.auto_inc;
    header.change_count1 = std::max<std::uint8_t>(old_header.change_count1, kFreshChangeCount);
    header.family_stamp = next_stamp(old_header.family_stamp);
    data.write_at(0, header.encode());

    if (plan.key_fields > 0) {
        File index = File::create(staged.path_of(companion(".PX")));
        PrimaryIndexWriter::build(index, new_primary_index_header(header, companion(".PX")),
                                  leaves);
    }
    for (const fs::path& f : old_family) {
        // Companions this engine does not interpret are carried as they are: the validity
        // file, whose first byte names the family it belongs to, and the view settings.
        const std::string extension = f.extension().string();
        const bool validity = same_file_name(extension, ".VAL");
        if (!validity && !same_file_name(extension, ".TV") && !same_file_name(extension, ".FAM"))
            continue;
        File from = File::open(f);
        std::vector<std::uint8_t> bytes(from.size());
        bytes.resize(from.read_at(0, bytes));
        if (validity && !bytes.empty()) bytes[0] = header.family_stamp;
        File::create(staged.path_of(f.filename().string())).write_at(0, bytes);
    }
    if (!old_indexes.empty()) {
        IndexRebuildRequest request{*old, new_table, {}, old_indexes};
        for (const RestructureField& f : plan.fields)
            request.sources.push_back(f.source);
        index_rebuilder()(request);
    }

    const DirectoryLock lock = DirectoryLock::acquire(directory);
    staged.commit(old_family);
}

}  // namespace pdx
