#include "tutil/rebuild.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <numeric>
#include <optional>
#include <thread>
#include <utility>

#include "common/error.h"
#include "engine/api/engine_error.h"
#include "engine/format/file.h"
#include "engine/format/new_table.h"
#include "engine/table/index_key_order.h"
#include "engine/table/open_tables.h"
#include "engine/table/primary_index_writer.h"
#include "engine/table/table_admin.h"
#include "engine/table/table_family.h"
#include "engine/table/table_lock.h"
#include "engine/table/table_name.h"
#include "tutil/block_scan.h"
#include "tutil/family.h"
#include "tutil/salvage.h"
#include "tutil/secondary_rebuild.h"
#include "tutil/table_file_writer.h"

namespace tutil {

namespace fs = std::filesystem;

namespace {

void report(const Progress& progress, int percent) {
    if (progress) progress(Phase::kRebuild, percent);
}

// The description handed in must be the table's own: the rebuild keeps the structure.
void check_description(const CRTblDesc* desc, const pdx::TableHeader& h, const std::string& name) {
    if (desc == nullptr) return;
    const auto refuse = [&](const std::string& why) {
        throw pdx::EngineError(pdx::DBIERR_INVALIDPARAM,
                               "The rebuild description does not match " + name + ": " + why + ".");
    };
    if (desc->pecrFldOp || desc->pecrIdxOp || desc->pecrSecOp || desc->pecrValChkOp ||
        desc->pecrRintOp)
        throw pdx::EngineError(pdx::DBIERR_NOTSUPPORTED,
                               "A rebuild keeps the structure of " + name +
                                   "; changes to its fields or indexes are not made here.");
    if (desc->iFldCount != h.fields.size())
        refuse("it lists " + std::to_string(desc->iFldCount) + " fields, the table has " +
               std::to_string(h.fields.size()));
    if (desc->pfldDesc == nullptr) return;
    for (std::size_t i = 0; i < h.fields.size(); ++i) {
        const FLDDesc& f = desc->pfldDesc[i];
        const pdx::FieldDescriptor& d = h.fields[i].descriptor;
        if (f.iUnUsed[0] != static_cast<std::uint16_t>(d.type) || f.iUnUsed[1] != d.size)
            refuse("field " + std::to_string(i + 1) + " differs");
    }
}

// A record bound for one of the new tables, with the values of its blob fields.
struct Carried {
    std::vector<std::uint8_t> bytes;
    BlobValues blobs;
};

// Every file of the table `table` names, found without regard to letter case.
void remove_table_files(const fs::path& table) {
    if (!fs::exists(table.parent_path())) return;
    for (const auto& entry : fs::directory_iterator(table.parent_path()))
        if (pdx::same_file_name(entry.path().stem().string(), table.stem().string()))
            fs::remove(entry.path());
}

// Removes the files of a table on a thread of its own. Removing a large file costs about as
// much as writing it (the system lets go of every page it keeps of the file), and the old
// backup is as large as the table: its removal overlaps the pass over the records instead of
// following it.
class RemovalAside {
  public:
    explicit RemovalAside(fs::path table)
        : thread_([this, table = std::move(table)] {
              try {
                  remove_table_files(table);
              } catch (...) {
                  error_ = std::current_exception();
              }
          }) {}
    RemovalAside(const RemovalAside&) = delete;
    RemovalAside& operator=(const RemovalAside&) = delete;
    // Only reached without finish() when the rebuild failed: its own failure is the one
    // reported, and the removal's is then dropped.
    ~RemovalAside() {
        if (thread_.joinable()) thread_.join();
    }

    // Waits for the removal; throws what stopped it.
    void finish() {
        if (thread_.joinable()) thread_.join();
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }

  private:
    std::exception_ptr error_;
    std::thread thread_;  // last: it starts once the members it uses exist
};

class Rebuild {
  public:
    Rebuild(const RebuildRequest& request, const Progress& progress)
        : request_(request),
          progress_(progress),
          directory_(request.table.has_parent_path() ? request.table.parent_path() : fs::path(".")),
          name_(request.table.filename().string()) {}

    void run() {
        pdx::recover_family_changes(directory_);
        if (pdx::is_table_open(request_.table)) throw vaq::Error(pdx::table_busy_message(name_));
        pdx::check_not_open_in_paradox(request_.table);
        const pdx::TableLock lock =
            pdx::TableLock::acquire(request_.table, pdx::TableLock::Mode::kExclusive);

        salvage_.emplace(request_.table);
        const pdx::TableHeader& h = salvage_->header();
        if (h.is_encrypted())
            throw vaq::Error(name_ + " is protected by a password; it was not rebuilt.");
        check_description(request_.description, h, name_);
        family_ = TableFamily::of(request_.table);
        keyed_ = h.file_type == pdx::FileType::kKeyedTable;

        // The backup of an earlier rebuild makes way for this one's.
        RemovalAside old_backup(request_.backup);
        pdx::StagedFamily staged(directory_);
        write_table(staged);
        report(progress_, 80);
        write_auxiliary(request_.key_violations, key_violations_);
        write_auxiliary(request_.problems, problems_);
        report(progress_, 90);
        old_backup.finish();
        try {
            keep_backup();
            const pdx::DirectoryLock directory_lock = pdx::DirectoryLock::acquire(directory_);
            staged.commit(family_.members);
        } catch (...) {
            // The backup may share its files with the table, which stays as it was: it must
            // not be taken for a copy.
            remove_table_files(request_.backup);
            throw;
        }
        report(progress_, 100);
    }

  private:
    // The blob values of a record; a value the old .MB no longer holds keeps what the record
    // itself holds of it (its leader), and the record is listed as a problem too.
    BlobValues blobs_of(pdx::Bytes record, bool& lost) const {
        BlobValues values;
        const pdx::TableHeader& h = salvage_->header();
        std::size_t offset = 0;
        for (std::size_t i = 0; i < h.fields.size(); ++i) {
            const pdx::FieldDescriptor& d = h.fields[i].descriptor;
            if (pdx::is_blob_type(d.type)) {
                if (auto value = salvage_->blob_value(i, record)) {
                    values[i] = std::move(*value);
                } else {
                    lost = true;
                    const std::size_t leader = d.blob_leader();
                    const pdx::Bytes kept = record.subspan(offset, leader);
                    values[i].assign(kept.begin(), kept.end());
                }
            }
            offset += d.width();
        }
        return values;
    }

    // Hands the readable records to `take` in the order of the new table, records that lie
    // back to back in one call. Records of an unkeyed table go straight through; those of a
    // keyed table are gathered and put in key order first.
    void each_run(const std::function<void(pdx::Bytes)>& take) {
        const auto problem = [&](const ProblemRecord& p) {
            bool lost = false;
            problems_.push_back({{p.bytes.begin(), p.bytes.end()}, blobs_of(p.bytes, lost)});
        };
        if (!keyed_) {
            salvage_->deliver_runs([&](const SalvagedRun& r) { take(r.bytes); }, problem,
                                   progress_);
            return;
        }
        salvage_->deliver_runs(
            [&](const SalvagedRun& r) {
                good_.insert(good_.end(), r.bytes.begin(), r.bytes.end());
            },
            problem, progress_);
        const std::size_t size = salvage_->header().record_size;
        order_.resize(good_.size() / size);
        std::iota(order_.begin(), order_.end(), std::size_t{0});
        order_by_key();
        for (std::size_t i : order_)
            take(good(i));
    }

    pdx::Bytes good(std::size_t i) const {
        const std::size_t size = salvage_->header().record_size;
        return pdx::Bytes(good_).subspan(i * size, size);
    }

    // Records of a keyed table go in key order; of records with one key the first in table
    // order stays, the others are key violations. Records already in order keep their order
    // even where the table's sort order is not fully known.
    void order_by_key() {
        const pdx::TableHeader& h = salvage_->header();
        std::vector<pdx::KeyOrder::Part> parts;
        std::size_t offset = 0;
        for (std::size_t i = 0; i < h.key_fields; ++i) {
            parts.push_back({offset, h.fields[i].descriptor, false});
            offset += h.fields[i].descriptor.width();
        }
        const pdx::KeyOrder order(std::move(parts), pdx::alpha_collation_of(h), false);
        const auto before = [&](std::size_t a, std::size_t b) -> std::optional<bool> {
            const auto cmp = order.certain_compare(good(a), good(b));
            if (!cmp) return std::nullopt;
            return *cmp < 0;
        };
        bool sorted = true;
        for (std::size_t i = 1; i < order_.size() && sorted; ++i) {
            const auto ok = before(order_[i], order_[i - 1]);
            sorted = !ok || !*ok;
        }
        if (!sorted)
            std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
                const auto result = before(a, b);
                if (!result)
                    throw vaq::Error("The sort order " + h.sort_order_id + " of " + name_ +
                                     " cannot put its keys in order; it was not rebuilt.");
                return *result;
            });
        std::vector<std::size_t> kept;
        for (std::size_t i : order_) {
            if (!kept.empty() && order.same_key(good(kept.back()), good(i))) {
                const pdx::Bytes bytes = good(i);
                bool lost = false;
                key_violations_.push_back({{bytes.begin(), bytes.end()}, blobs_of(bytes, lost)});
                continue;
            }
            kept.push_back(i);
        }
        order_ = std::move(kept);
    }

    std::string member_name(std::string_view extension) const {
        for (const fs::path& f : family_.members)
            if (pdx::same_file_name(f.extension().string(), extension))
                return f.filename().string();
        return request_.table.stem().string() + std::string(extension);
    }

    bool has_blob_fields() const {
        const auto& fields = salvage_->header().fields;
        return std::any_of(fields.begin(), fields.end(), [](const pdx::FieldDef& f) {
            return pdx::is_blob_type(f.descriptor.type);
        });
    }

    void write_table(pdx::StagedFamily& staged) {
        pdx::TableHeader header = salvage_->header();
        header.table_name = name_;
        const std::optional<fs::path> blob_path =
            has_blob_fields() ? std::optional(staged.path_of(member_name(".MB"))) : std::nullopt;
        TableFileWriter writer(staged.path_of(name_), header, blob_path);
        const bool blob_fields = has_blob_fields();
        const std::size_t size = header.record_size;
        // The new table needs at most the blocks the old one holds.
        writer.reserve(blocks_to_scan(salvage_->file()));
        each_run([&](pdx::Bytes records) {
            if (!blob_fields) {
                writer.add_records(records);
                return;
            }
            for (std::size_t at = 0; at + size <= records.size(); at += size) {
                const pdx::Bytes bytes = records.subspan(at, size);
                bool lost = false;
                BlobValues blobs = blobs_of(bytes, lost);
                if (lost) problems_.push_back({{bytes.begin(), bytes.end()}, blobs});
                writer.add(bytes, blobs);
            }
        });
        const std::uint32_t auto_increment = static_cast<std::uint32_t>(
            std::max<std::int64_t>(header.auto_inc, salvage_->largest_auto_increment()));
        // The staged family flushes the new table when it swaps it in.
        const std::vector<pdx::IndexLeaf> leaves = writer.finish(
            header.level() >= 5 ? auto_increment : header.auto_inc, FinishFlush::kLeaveToCaller);
        const pdx::TableHeader& written = writer.header();

        if (written.file_type == pdx::FileType::kKeyedTable) {
            const std::string px = member_name(".PX");
            pdx::File index = pdx::File::create(staged.path_of(px));
            pdx::PrimaryIndexWriter::build(index, pdx::new_primary_index_header(written, px),
                                           leaves);
        }
        copy_companions(staged, written);
        rebuild_secondary_indexes(family_, staged.path_of(name_), staged.folder());
    }

    // The validity file is carried with the table's family stamp; files of the family this
    // engine does not interpret (.TV, .FAM) are carried as they are.
    void copy_companions(pdx::StagedFamily& staged, const pdx::TableHeader& written) {
        for (const fs::path& member : family_.members) {
            const std::string extension = member.extension().string();
            if (pdx::same_file_name(extension, ".DB") || pdx::same_file_name(extension, ".PX") ||
                pdx::same_file_name(extension, ".MB") || is_index_member(member))
                continue;
            const pdx::File from = pdx::File::open(member);
            std::vector<std::uint8_t> bytes(from.size());
            bytes.resize(from.read_at(0, bytes));
            if (pdx::same_file_name(extension, ".VAL") && !bytes.empty())
                bytes[0] = written.family_stamp;
            pdx::File::create(staged.path_of(member.filename().string())).write_at(0, bytes);
        }
    }

    bool is_index_member(const fs::path& member) const {
        for (const SecondaryFiles& s : family_.secondary)
            if ((s.index && *s.index == member) || (s.tree && *s.tree == member)) return true;
        return false;
    }

    // Key violations and problem records go to unkeyed tables of the table's fields,
    // written under a temporary name and put in place of an older table of that name. An
    // older table is removed when there is nothing to list.
    void write_auxiliary(const fs::path& target, const std::vector<Carried>& records) {
        remove_table_files(target);
        if (records.empty()) return;
        pdx::TableHeader header = salvage_->header();
        header.file_type = pdx::FileType::kUnkeyedTable;
        header.key_fields = 0;
        header.table_name = target.filename().string();
        const fs::path folder = target.parent_path();
        const fs::path temporary = folder / (".new." + target.filename().string());
        fs::path blob_target = target;
        blob_target.replace_extension(".MB");
        fs::path blob_temporary = temporary;
        blob_temporary.replace_extension(".MB");
        remove_table_files(temporary);
        TableFileWriter writer(temporary, header,
                               has_blob_fields() ? std::optional(blob_temporary) : std::nullopt);
        for (const Carried& r : records)
            writer.add(r.bytes, r.blobs);
        writer.finish(header.auto_inc);
        if (has_blob_fields()) pdx::rename_file(blob_temporary, blob_target);
        pdx::rename_file(temporary, target);
    }

    // The original family, every file under the backup's name with its own extension (the
    // backup of an earlier rebuild is gone by now). The
    // swap that follows puts new files in place of the old ones and never writes into them,
    // so a second name for each old file keeps it whole without copying it; where the private
    // directory lies on another file system the files are copied.
    void keep_backup() {
        const std::string stem = request_.backup.stem().string();
        const fs::path folder = request_.backup.parent_path();
        for (const fs::path& member : family_.members) {
            const fs::path target = pdx::same_file_name(member.extension().string(), ".DB")
                                        ? request_.backup
                                        : folder / (stem + member.extension().string());
            if (!pdx::link_file(member, target))
                fs::copy_file(member, target, fs::copy_options::overwrite_existing);
        }
    }

    const RebuildRequest& request_;
    const Progress& progress_;
    fs::path directory_;
    std::string name_;
    std::optional<Salvage> salvage_;
    TableFamily family_;
    bool keyed_ = false;
    std::vector<std::uint8_t> good_;
    std::vector<std::size_t> order_;
    std::vector<Carried> key_violations_;
    std::vector<Carried> problems_;
};

}  // namespace

void rebuild_table(const RebuildRequest& request, const Progress& progress) {
    Rebuild(request, progress).run();
}

}  // namespace tutil
