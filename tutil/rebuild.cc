#include "tutil/rebuild.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <iterator>
#include <map>
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
#include "tutil/set_aside_records.h"
#include "tutil/table_file_writer.h"
#include "tutil/waiting_records.h"

namespace vaq::tutil {

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

// The folder of a rebuild's own tables, where what outgrows its memory waits.
fs::path run_folder(const RebuildRequest& request) {
    const fs::path folder = request.problems.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

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
          name_(request.table.filename().string()),
          uncounted_(run_folder(request) / ".uncounted.tmp", request.set_aside_memory),
          also_kept_(run_folder(request) / ".also-kept.tmp", request.set_aside_memory),
          key_violations_(run_folder(request) / ".key-violations.tmp", request.set_aside_memory),
          problems_(run_folder(request) / ".problems.tmp", request.set_aside_memory) {}

    RebuildResult run() {
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
        also_kept_.for_each([&](const Carried& c) { problems_.push_back(c); });
        also_kept_.clear();
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
        result_.backup = request_.backup;
        result_.kept = kept_;
        result_.key_violations = key_violations_.size();
        result_.problems = problems_.size();
        result_.problems_also_kept = problems_also_kept_;
        if (!key_violations_.empty()) result_.key_violation_table = request_.key_violations;
        if (!problems_.empty()) result_.problem_table = request_.problems;
        result_.records_read = result_.kept + result_.set_aside();
        return result_;
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

    // A problem record of the salvage: counted ones are set aside at once, uncounted ones
    // once the new table is written and known not to hold them.
    void take_problem(const ProblemRecord& p) {
        bool lost = false;
        Carried carried{{p.bytes.begin(), p.bytes.end()}, blobs_of(p.bytes, lost)};
        if (p.uncounted)
            uncounted_.push_back(std::move(carried));
        else
            problems_.push_back(std::move(carried));
    }

    // Hands the readable records to `take` in the order of the new table, records that lie
    // back to back in one call. Records of an unkeyed table go straight through, and so do
    // those of a keyed table while they come in key order. A record that does not (its key
    // not above the last one taken) waits; when any waited, the table is written again in
    // a second pass over the file (`again` is called first), the waiting records merged
    // into their places. Of records with one key the first in table order stays, the others
    // are key violations.
    void each_run(const std::function<void(pdx::Bytes)>& take, const std::function<void()>& again) {
        const auto problem = [&](const ProblemRecord& p) { take_problem(p); };
        if (!keyed_) {
            salvage_->deliver_runs([&](const SalvagedRun& r) { take(r.bytes); }, problem,
                                   progress_);
            return;
        }
        const pdx::KeyOrder order = key_order();
        const std::size_t size = salvage_->header().record_size;
        WaitingRecords waiting(
            size, [&](pdx::Bytes a, pdx::Bytes b) { return before(order, a, b); }, waiting_file(),
            request_.waiting_memory);
        std::vector<std::uint8_t> last;  // the key record last taken
        salvage_->deliver_runs(
            [&](const SalvagedRun& r) {
                std::size_t start = 0;
                for (std::size_t i = 0; i < r.count; ++i) {
                    const pdx::Bytes record = r.bytes.subspan(i * size, size);
                    if (last.empty() || in_order(order, last, record)) {
                        last.assign(record.begin(), record.end());
                        continue;
                    }
                    take(r.bytes.subspan(start * size, (i - start) * size));
                    start = i + 1;
                    waiting.add(record);
                }
                take(r.bytes.subspan(start * size, (r.count - start) * size));
            },
            problem, progress_);
        if (waiting.empty()) return;
        result_.out_of_order = waiting.size();
        result_.out_of_order_runs = waiting.runs_on_disk();
        again();
        merge_waiting(order, take, waiting);
    }

    // Where the records out of key order go when they outgrow their memory: the folder of
    // this rebuild's own tables.
    fs::path waiting_file() const { return run_folder(request_) / ".out-of-order.tmp"; }

    // True when `record` may follow `last` in the new table: its key is above, or the sort
    // order cannot tell (records already in order keep their order).
    static bool in_order(const pdx::KeyOrder& order, pdx::Bytes last, pdx::Bytes record) {
        if (order.same_key(last, record)) return false;
        const auto cmp = order.certain_compare(last, record);
        return !cmp || *cmp < 0;
    }

    // True when key `a` sorts before key `b`; throws when the sort order cannot tell.
    bool before(const pdx::KeyOrder& order, pdx::Bytes a, pdx::Bytes b) const {
        const auto cmp = order.certain_compare(a, b);
        if (!cmp)
            throw vaq::Error("The sort order " + salvage_->header().sort_order_id + " of " + name_ +
                             " cannot put its keys in order; it was not rebuilt.");
        return *cmp < 0;
    }

    pdx::KeyOrder key_order() const {
        const pdx::TableHeader& h = salvage_->header();
        std::vector<pdx::KeyOrder::Part> parts;
        std::size_t offset = 0;
        for (std::size_t i = 0; i < h.key_fields && i < h.fields.size(); ++i) {
            parts.push_back({offset, h.fields[i].descriptor, false});
            offset += h.fields[i].descriptor.width();
        }
        return pdx::KeyOrder(std::move(parts), pdx::alpha_collation_of(h), false);
    }

    // The second pass: the records that came in order, as before (the same test picks them
    // out again), with the waiting ones put in key order between them.
    void merge_waiting(const pdx::KeyOrder& order, const std::function<void(pdx::Bytes)>& take,
                       WaitingRecords& waiting) {
        waiting.start_reading();
        const auto violation = [&](pdx::Bytes bytes) {
            bool lost = false;
            key_violations_.push_back({{bytes.begin(), bytes.end()}, blobs_of(bytes, lost)});
        };
        std::vector<std::uint8_t> last;  // the record last taken
        // Waiting records up to `bound` (all when empty) go in; of one key only the first.
        const auto take_waiting_before = [&](std::optional<pdx::Bytes> bound) {
            for (auto w = waiting.next(); w; waiting.pop(), w = waiting.next()) {
                if (bound && !before(order, *w, *bound)) break;
                if (!last.empty() && order.same_key(last, *w)) {
                    violation(*w);
                    continue;
                }
                take(*w);
                last.assign(w->begin(), w->end());
            }
        };
        std::vector<std::uint8_t> last_in_order;  // as the first pass had it
        const std::size_t size = salvage_->header().record_size;
        salvage_->deliver_runs(
            [&](const SalvagedRun& r) {
                for (std::size_t i = 0; i < r.count; ++i) {
                    const pdx::Bytes record = r.bytes.subspan(i * size, size);
                    if (!last_in_order.empty() && !in_order(order, last_in_order, record))
                        continue;  // one of the waiting records
                    last_in_order.assign(record.begin(), record.end());
                    take_waiting_before(record);
                    // A waiting record of the same key came later in table order.
                    for (auto w = waiting.next(); w && order.same_key(*w, record);
                         waiting.pop(), w = waiting.next())
                        violation(*w);
                    take(record);
                    last.assign(record.begin(), record.end());
                }
            },
            [](const ProblemRecord&) {}, progress_);
        take_waiting_before(std::nullopt);
    }

    // The bytes of a record that say what it holds: its blob fields' pointers into the .MB
    // (which a rebuild writes anew) are left out.
    std::vector<std::uint8_t> held_bytes(pdx::Bytes record) const {
        std::vector<std::uint8_t> bytes(record.begin(), record.end());
        std::size_t offset = 0;
        for (const pdx::FieldDef& f : salvage_->header().fields) {
            const std::size_t leader = f.descriptor.blob_leader();
            if (pdx::is_blob_type(f.descriptor.type))
                std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset + leader),
                            f.descriptor.width() - leader, 0);
            offset += f.descriptor.width();
        }
        return bytes;
    }

    // Uncounted records go to the problem table unless the new table (read back from
    // `table`), the key violations, the problems or an uncounted record before them hold the
    // same record already: a copy that a split, a torn write or a delete left behind is not a
    // record of its own. They are settled a load at a time, each load within the memory of
    // a list set aside; the problems then hold the loads settled before.
    void set_aside_what_the_table_lacks(const fs::path& table) {
        if (uncounted_.empty()) return;
        std::vector<Carried> load;
        std::size_t load_bytes = 0;
        uncounted_.for_each([&](const Carried& c) {
            load.push_back(c);
            load_bytes += c.bytes.size();
            if (load_bytes < request_.set_aside_memory) return;
            set_aside_what_the_table_lacks(table, load);
            load.clear();
            load_bytes = 0;
        });
        if (!load.empty()) set_aside_what_the_table_lacks(table, load);
        uncounted_.clear();
    }

    void set_aside_what_the_table_lacks(const fs::path& table, std::vector<Carried>& load) {
        using Held = std::map<std::vector<std::uint8_t>, bool>;  // true: already kept
        Held held;                                               // by held_bytes
        std::vector<Held::iterator> of_record;
        for (const Carried& c : load)
            of_record.push_back(held.emplace(held_bytes(c.bytes), false).first);
        const auto mark = [&](pdx::Bytes record) {
            if (const auto found = held.find(held_bytes(record)); found != held.end())
                found->second = true;
        };
        for (auto* list : {&key_violations_, &problems_})
            list->for_each([&](const Carried& c) { mark(c.bytes); });
        const pdx::BlockFile written = pdx::BlockFile::open(table);
        const std::size_t size = written.header().record_size;
        scan_blocks(written, [&](const ScannedBlock& block) {
            if (block.present < pdx::DataBlockHeader::kEncodedSize) return;
            const auto head = pdx::DataBlockHeader::decode(block.bytes.data());
            if (head.problem(size, written.header().block_size())) return;
            const std::size_t count = head.record_count(size);
            for (std::size_t slot = 0; slot < count; ++slot)
                mark(block.bytes.subspan(pdx::record_offset_in_block(slot, size), size));
        });
        for (std::size_t i = 0; i < load.size(); ++i) {
            bool& already = of_record[i]->second;
            if (already) continue;
            already = true;
            problems_.push_back(std::move(load[i]));
        }
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
        // Above level 4 the level-3 key's place holds a fixed mark; the password's key lives
        // in the header's extension.
        if (header.has_extension() && header.encryption1 != pdx::kNoLevel3Encryption) {
            header.encryption1 = pdx::kNoLevel3Encryption;
            result_.repairs.push_back("The header's encryption mark (offset 0x25) is set right.");
        }
        const bool blob_fields = has_blob_fields();
        const std::optional<fs::path> blob_path =
            blob_fields ? std::optional(staged.path_of(member_name(".MB"))) : std::nullopt;
        std::optional<TableFileWriter> writer;
        const auto start = [&] {
            writer.reset();
            fs::remove(staged.path_of(name_));
            if (blob_path) fs::remove(*blob_path);
            writer.emplace(staged.path_of(name_), header, blob_path);
            // The new table needs at most the blocks the old one holds.
            writer->reserve(blocks_to_scan(salvage_->file()));
            kept_ = 0;
            also_kept_.clear();
            problems_also_kept_ = 0;
        };
        start();
        const std::size_t size = header.record_size;
        each_run(
            [&](pdx::Bytes records) {
                if (records.empty()) return;
                if (!blob_fields) {
                    writer->add_records(records);
                    kept_ += records.size() / size;
                    return;
                }
                for (std::size_t at = 0; at + size <= records.size(); at += size) {
                    const pdx::Bytes bytes = records.subspan(at, size);
                    bool lost = false;
                    BlobValues blobs = blobs_of(bytes, lost);
                    if (lost) {
                        also_kept_.push_back({{bytes.begin(), bytes.end()}, blobs});
                        ++problems_also_kept_;
                    }
                    writer->add(bytes, blobs);
                    ++kept_;
                }
            },
            start);
        const std::uint32_t auto_increment = static_cast<std::uint32_t>(
            std::max<std::int64_t>(header.auto_inc, salvage_->largest_auto_increment()));
        // The staged family flushes the new table when it swaps it in.
        const std::vector<pdx::IndexLeaf> leaves = writer->finish(
            header.level() >= 5 ? auto_increment : header.auto_inc, FinishFlush::kLeaveToCaller);
        const pdx::TableHeader& written = writer->header();
        set_aside_what_the_table_lacks(staged.path_of(name_));

        if (written.file_type == pdx::FileType::kKeyedTable) {
            const std::string px = member_name(".PX");
            pdx::File index = pdx::File::create(staged.path_of(px));
            pdx::PrimaryIndexWriter::build(index, pdx::new_primary_index_header(written, px),
                                           leaves);
        }
        copy_companions(staged, written);
        result_.dropped_indexes =
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
    void write_auxiliary(const fs::path& target, SetAsideRecords& records) {
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
        records.for_each([&](const Carried& r) { writer.add(r.bytes, r.blobs); });
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
    // Uncounted records the salvage found, until the new table is known not to hold them.
    SetAsideRecords uncounted_;
    // Records kept in the new table whose blob values are lost; listed as problems too.
    SetAsideRecords also_kept_;
    SetAsideRecords key_violations_;
    SetAsideRecords problems_;
    std::uint64_t kept_ = 0;
    std::uint64_t problems_also_kept_ = 0;
    RebuildResult result_;
};

}  // namespace

RebuildResult rebuild_table(const RebuildRequest& request, const Progress& progress) {
    return Rebuild(request, progress).run();
}

}  // namespace vaq::tutil
