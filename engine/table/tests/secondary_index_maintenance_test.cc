// Keeping secondary indexes current: random appends, changes and deletions through the table
// writer leave every maintained index with one entry per record, in order, its tree counting
// right and its stamp following the primary index; indexes that are not maintained follow
// records stored at the end or changed in place, and are built anew after other changes;
// a restructure rebuilds the indexes under the new field numbers.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>

#include "common/error.h"
#include "engine/table/index_maintenance.h"
#include "engine/table/restructure.h"
#include "engine/table/secondary_index.h"
#include "engine/table/table_admin.h"
#include "engine/table/tests/secondary_index_checks.h"
#include "engine/table/tests/test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using testing::append;
using testing::check_all_indexes;
using testing::TempDir;

SecondaryIndexRequest request(std::string name, std::vector<std::string> fields,
                              bool case_insensitive = false, bool descending = false) {
    SecondaryIndexRequest r;
    r.name = std::move(name);
    r.fields = std::move(fields);
    r.case_insensitive = case_insensitive;
    r.descending = descending;
    return r;
}

// Records of a table kept beside it: the exact bytes the writer stored, by key.
using Model = std::map<std::int64_t, std::vector<std::uint8_t>>;

std::vector<std::uint8_t> bytes_of(const EditBuffer& buffer) {
    return {buffer.record().bytes().begin(), buffer.record().bytes().end()};
}

class RandomNames {
  public:
    explicit RandomNames(unsigned seed) : random_(seed) {}
    std::string name() {
        static const char* const kNames[] = {"anna", "Anna", "BOB", "bob", "Carl",
                                             "dora", "Eve",  "eve", "",    "Zed"};
        const std::string base = kNames[random_() % 10];
        return base.empty() ? base : base + std::to_string(random_() % 30);
    }
    std::string date() {
        char text[16];
        std::snprintf(text, sizeof text, "2004-%02u-%02u", 1 + next(12), 1 + next(28));
        return text;
    }
    unsigned next(unsigned n) { return static_cast<unsigned>(random_() % n); }

  private:
    std::mt19937 random_;
};

class KeyedMaintenance : public ::testing::Test {
  protected:
    void SetUp() override {
        install_secondary_index_writers();
        TableSpec spec;
        spec.fields = {{"ID", FieldType::kLong, 0},
                       {"Name", FieldType::kAlpha, 20},
                       {"Dept", FieldType::kShort, 0},
                       {"Hired", FieldType::kDate, 0}};
        spec.key_fields = 1;
        create_table(dir_.path(), "Staff.DB", spec, {7, 1024});
        auto table = Table::open(dir_.path(), "Staff", Access::kWrite);
        for (std::int64_t id = 1; id <= 300; ++id)
            insert(*table, id);
    }

    void insert(Table& table, std::int64_t id) {
        EditBuffer buffer = EditBuffer::blank(table.shared_from_this());
        buffer.set(0, id);
        buffer.set(1, names_.name());
        buffer.set(2, std::int64_t(names_.next(9)));
        buffer.set(3, names_.date());
        table.writer().insert(buffer);
        model_[id] = bytes_of(buffer);
    }

    // One random append, change (sometimes of the key) or deletion.
    void random_change(Table& table) {
        const unsigned what = names_.next(10);
        if (what < 4 || model_.size() < 10) {
            std::int64_t id = 1 + names_.next(5000);
            while (model_.count(id))
                id = 1 + names_.next(5000);
            insert(table, id);
            return;
        }
        auto it = model_.begin();
        std::advance(it, names_.next(static_cast<unsigned>(model_.size())));
        const std::int64_t id = it->first;
        const std::vector<std::uint8_t> old = it->second;
        const RecordRef ref{old, std::nullopt, 0};
        if (what < 7) {
            table.writer().remove(ref);
            model_.erase(id);
            return;
        }
        EditBuffer buffer = EditBuffer::of(table.shared_from_this(), old);
        std::int64_t new_id = id;
        if (what == 9) {
            while (model_.count(new_id))
                new_id = 1 + names_.next(5000);
            buffer.set(0, new_id);
        }
        if (names_.next(2) == 0) buffer.set(1, names_.name());
        if (names_.next(2) == 0) buffer.set(2, std::int64_t(names_.next(9)));
        table.writer().update(ref, buffer);
        model_.erase(id);
        model_[new_id] = bytes_of(buffer);
    }

    TempDir dir_;
    RandomNames names_{11};
    Model model_;
};

TEST_F(KeyedMaintenance, RandomChangesKeepEveryIndexCurrent) {
    create_secondary_index(dir_.path(), "Staff", request("Name", {"Name"}));
    create_secondary_index(dir_.path(), "Staff", request("NameCI", {"Name"}, true));
    create_secondary_index(dir_.path(), "Staff", request("DeptHired", {"Dept", "Hired"}));
    create_secondary_index(dir_.path(), "Staff", request("Latest", {"Hired"}, false, true));
    auto table = Table::open(dir_.path(), "Staff", Access::kWrite);
    for (std::int64_t id = 10000; id < 11500; ++id)
        insert(*table, id);
    for (int round = 0; round < 6; ++round) {
        for (int i = 0; i < 400; ++i)
            random_change(*table);
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(table->record_count(), model_.size());
        check_all_indexes(*table);
    }
    // The trees grew beyond one level, and the X files split and freed blocks.
    int deepest = 0;
    for (const SecondaryIndex& index : list_secondary_indexes(*table))
        deepest = std::max<int>(deepest, BlockFile::open(*index.tree_file).header().index_levels);
    EXPECT_GE(deepest, 2);
    table->writer().flush();

    // Everything deleted: the indexes are empty and take records again.
    while (!model_.empty()) {
        table->writer().remove({model_.begin()->second, std::nullopt, 0});
        model_.erase(model_.begin());
    }
    check_all_indexes(*table);
    insert(*table, 42);
    check_all_indexes(*table);
}

TEST_F(KeyedMaintenance, AnIndexCreatedWhileTheTableIsOpenForWritingIsMaintainedAtOnce) {
    create_secondary_index(dir_.path(), "Staff", request("Name", {"Name"}));
    auto table = Table::open(dir_.path(), "Staff", Access::kWrite);
    for (int i = 0; i < 50; ++i)
        random_change(*table);
    create_secondary_index(*table, request("idx_Dept", {"Dept"}));
    for (int i = 0; i < 200; ++i)
        random_change(*table);
    check_all_indexes(*table);
    delete_secondary_index(*table, "NAME");
    for (int i = 0; i < 200; ++i)
        random_change(*table);
    check_all_indexes(*table);
}

TEST_F(KeyedMaintenance, AFailedChangeLeavesTheIndexesAsTheyWere) {
    create_secondary_index(dir_.path(), "Staff", request("Name", {"Name"}));
    auto table = Table::open(dir_.path(), "Staff", Access::kWrite);
    const auto before = testing::file_bytes(dir_ / "Staff.X02");
    EditBuffer duplicate = EditBuffer::blank(table);
    duplicate.set(0, std::int64_t{7});
    EXPECT_THROW(table->writer().insert(duplicate), vaq::Error);
    EXPECT_EQ(testing::file_bytes(dir_ / "Staff.X02"), before);
    for (int i = 0; i < 100; ++i)
        random_change(*table);
    check_all_indexes(*table);
}

TEST_F(KeyedMaintenance, AChangeOfFieldsNoIndexHoldsLeavesTheIndexFilesAlone) {
    create_secondary_index(dir_.path(), "Staff", request("Name", {"Name"}));
    create_secondary_index(dir_.path(), "Staff", request("idx_Dept", {"Dept"}));
    auto table = Table::open(dir_.path(), "Staff", Access::kWrite);
    std::vector<std::filesystem::path> files;
    for (const SecondaryIndex& index : list_secondary_indexes(*table)) {
        files.push_back(index.index_file);
        files.push_back(*index.tree_file);
    }
    std::vector<std::vector<std::uint8_t>> before;
    for (const auto& file : files)
        before.push_back(testing::file_bytes(file));
    const auto change = [&](std::int64_t id, std::size_t field, const FieldInput& value) {
        EditBuffer buffer = EditBuffer::of(table, model_.at(id));
        buffer.set(field, value);
        table->writer().update({model_.at(id), std::nullopt, 0}, buffer);
        model_[id] = bytes_of(buffer);
    };
    for (std::int64_t id = 1; id <= 300; id += 7)
        change(id, 3, std::string("2011-05-06"));
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(testing::file_bytes(files[i]), before[i]) << files[i];
    check_all_indexes(*table);
    change(8, 1, std::string("zz moved"));
    change(9, 2, std::int64_t{99});
    EXPECT_NE(testing::file_bytes(files[0]), before[0]);
    check_all_indexes(*table);
}

TEST_F(KeyedMaintenance, ARestructureRebuildsIndexesUnderTheNewFieldNumbers) {
    create_secondary_index(dir_.path(), "Staff", request("Hired", {"Hired"}));          // X04
    create_secondary_index(dir_.path(), "Staff", request("idx_Name", {"Name"}, true));  // XG0
    create_secondary_index(dir_.path(), "Staff", request("idx_Dept", {"Dept"}));        // XG1
    // Drop Dept, the third field: Hired moves to 3, idx_Dept goes with its field.
    RestructurePlan plan;
    {
        const auto table = Table::open(dir_.path(), "Staff");
        plan = current_layout(*table);
    }
    plan.fields.erase(plan.fields.begin() + 2);
    restructure_table(dir_.path(), "Staff", plan);
    EXPECT_FALSE(fs::exists(dir_ / "Staff.X04"));
    EXPECT_TRUE(fs::exists(dir_ / "Staff.X03"));
    EXPECT_TRUE(fs::exists(dir_ / "Staff.Y03"));
    EXPECT_FALSE(fs::exists(dir_ / "Staff.XG1"));
    EXPECT_FALSE(fs::exists(dir_ / "Staff.YG1"));
    {
        const auto table = Table::open(dir_.path(), "Staff");
        const std::vector<SecondaryIndex> indexes = list_secondary_indexes(*table);
        ASSERT_EQ(indexes.size(), 2u);
        EXPECT_EQ(indexes[0].name, "Hired");
        EXPECT_EQ(indexes[1].name, "idx_Name");
        EXPECT_TRUE(indexes[1].layout.case_insensitive);
        check_all_indexes(*table);
    }

    // Without its key the table keeps its indexes, no longer maintained ...
    {
        const auto table = Table::open(dir_.path(), "Staff");
        plan = current_layout(*table);
    }
    plan.fields.erase(plan.fields.begin());
    plan.key_fields = 0;
    restructure_table(dir_.path(), "Staff", plan);
    {
        const auto table = Table::open(dir_.path(), "Staff");
        for (const SecondaryIndex& index : list_secondary_indexes(*table))
            EXPECT_FALSE(index.layout.maintained) << index.name;
        EXPECT_TRUE(fs::exists(dir_ / "Staff.X02"));
        check_all_indexes(*table);
        plan = current_layout(*table);
    }
    // ... and with a new auto-increment key they are maintained again.
    RestructureField key;
    key.spec = {"No", FieldType::kAutoInc, 0};
    plan.fields.insert(plan.fields.begin(), key);
    plan.key_fields = 1;
    restructure_table(dir_.path(), "Staff", plan);
    {
        const auto table = Table::open(dir_.path(), "Staff");
        for (const SecondaryIndex& index : list_secondary_indexes(*table))
            EXPECT_TRUE(index.layout.maintained) << index.name;
        EXPECT_TRUE(fs::exists(dir_ / "Staff.X03"));
        check_all_indexes(*table);
    }
}

// An unkeyed table and its index, which is not maintained: the engine keeps it current.
class SnapshotMaintenance : public ::testing::Test {
  protected:
    void SetUp() override {
        install_secondary_index_writers();
        TableSpec spec;
        spec.fields = {{"DeptID", FieldType::kShort, 0}, {"DeptName", FieldType::kAlpha, 30}};
        create_table(dir_.path(), "Department.DB", spec, {7, 1024});
        table_ = Table::open(dir_.path(), "Department", Access::kWrite);
        for (int i = 0; i < 120; ++i)
            add(i);
        create_secondary_index(*table_, request("idx_DeptName", {"DeptName"}));
    }

    void add(int i) {
        EditBuffer buffer = EditBuffer::blank(table_);
        buffer.set(0, std::int64_t{i});
        buffer.set(1, "Dept " + std::to_string((i * 37) % 53));
        table_->writer().insert(buffer);
        records_.push_back(bytes_of(buffer));
    }

    void rename(std::size_t at, const std::string& name) {
        EditBuffer buffer = EditBuffer::of(table_, records_[at]);
        buffer.set(1, name);
        table_->writer().update({records_[at], std::nullopt, 0}, buffer);
        records_[at] = bytes_of(buffer);
    }

    void remove(std::size_t at) {
        table_->writer().remove({records_[at], std::nullopt, 0});
        records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(at));
    }

    bool index_is_stale() {
        if (find_secondary_index(*table_, "idx_DeptName").stale) return true;
        auto cursor = open_index_cursor(*table_, "idx_DeptName");
        return dynamic_cast<PositionListCursor&>(*cursor).sorted_here();
    }

    TempDir dir_;
    std::shared_ptr<Table> table_;
    std::vector<std::vector<std::uint8_t>> records_;
};

TEST_F(SnapshotMaintenance, RecordsStoredAtTheEndAndChangedInPlaceKeepItCurrent) {
    for (int i = 120; i < 300; ++i)
        add(i);  // new blocks on the way
    testing::check_all_indexes(*table_);
    rename(5, "Accounts");
    rename(200, "Zoo");
    rename(7, "Dept 3");
    testing::check_all_indexes(*table_);
    remove(records_.size() - 1);  // the last record: nothing else moves
    testing::check_all_indexes(*table_);
}

TEST_F(SnapshotMaintenance, ARemovalFromTheMiddleIsMadeGoodWhenTheTableIsFlushed) {
    remove(10);
    EXPECT_TRUE(index_is_stale());
    add(500);
    table_->writer().flush();
    EXPECT_FALSE(index_is_stale());
    testing::check_all_indexes(*table_);
    // Identical records: each entry still names its own record.
    add(1000);
    add(1000);
    rename(records_.size() - 1, "Other");
    testing::check_all_indexes(*table_);
}

TEST_F(SnapshotMaintenance, ClosingTheTableLeavesTheIndexCurrent) {
    remove(3);
    remove(50);
    rename(7, "Zoo");
    table_.reset();  // closes the table
    const auto table = Table::open(dir_.path(), "Department");
    EXPECT_FALSE(find_secondary_index(*table, "idx_DeptName").stale);
    testing::check_all_indexes(*table);
}

}  // namespace
}  // namespace pdx
