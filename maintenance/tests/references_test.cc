// Renumbering a key takes the references to it along: for every transaction, the staff
// record it names is the same person before and after, read by pxlib (written by other
// people). Also after a process killed at any moment of the change: every table is as it
// was, or every table changed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/tests/killed_child.h"
#include "db/query.h"
#include "engine/api/private_folders.h"
#include "engine/table/table_family.h"
#include "engine/table/table_name.h"
#include "engine/table/tests/pxlib_reader.h"
#include "maintenance/key_renumbering.h"
#include "maintenance/tests/site_fixture.h"

namespace vaq::maintenance::testing {
namespace {

namespace fs = std::filesystem;

// A record as pxlib reads it: the named fields, long and short integers in decimal ("" for
// NULL), alpha fields as their bytes.
using PxRecord = std::map<std::string, std::string>;

std::string decode_field(const pxfield_t& field, const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    const int length = field.px_flen;
    if (field.px_ftype == pxfAlpha) return std::string(bytes, strnlen(bytes, length));
    bool null = true;
    for (int i = 0; i < length; ++i)
        null = null && b[i] == 0;
    if (null) return "";
    // Big-endian with the sign bit flipped.
    std::uint64_t raw = 0;
    for (int i = 0; i < length; ++i)
        raw = (raw << 8) | b[i];
    raw ^= 1ULL << (8 * length - 1);
    if (length == 2) return std::to_string(static_cast<std::int16_t>(raw));
    if (length == 4) return std::to_string(static_cast<std::int32_t>(raw));
    return "?";
}

std::vector<PxRecord> pxlib_records(const fs::path& file, const std::vector<std::string>& names) {
    pdx::testing::PxlibTable px(file.string());
    std::vector<std::pair<std::string, std::pair<int, int>>> wanted;  // name, field, offset
    int offset = 0;
    for (int i = 0; i < px.field_count(); ++i) {
        const pxfield_t& field = px.field(i);
        for (const std::string& name : names)
            if (strcasecmp(field.px_fname, name.c_str()) == 0)
                wanted.push_back({name, {i, offset}});
        offset += field.px_flen;
    }
    std::vector<PxRecord> records;
    for (int n = 0; n < px.record_count(); ++n) {
        const char* record = px.read_record(n);
        PxRecord values;
        for (const auto& [name, where] : wanted)
            values[name] = decode_field(px.field(where.first), record + where.second);
        records.push_back(std::move(values));
    }
    return records;
}

class ReferencesTest : public SiteFixture {
  protected:
    void SetUp() override {
        SiteFixture::SetUp();
        write_site(60, 600);
        // Gaps in the staff keys: staff who left, whose transactions now name nobody.
        db::Query remove;
        remove.set_sql(
            "DELETE FROM Personal WHERE PersonalID = 1 OR PersonalID = 7 OR "
            "PersonalID = 8 OR PersonalID = 33 OR PersonalID = 59");
        remove.exec_sql();
    }

    fs::path file(std::string_view table) const { return *pdx::find_table_file(data(), table); }

    // Each staff record by its key: who it is.
    std::map<std::string, std::string> staff_by_key(const fs::path& personal) const {
        std::map<std::string, std::string> people;
        for (const PxRecord& r :
             pxlib_records(personal, {"PersonalID", "CardID", "StaffID", "Name"}))
            people[r.at("PersonalID")] =
                r.at("CardID") + "|" + r.at("StaffID") + "|" + r.at("Name");
        return people;
    }
    // For every transaction in table order: whom it names, or "#" and its value when it
    // names nobody.
    std::vector<std::string> named_people(const fs::path& personal,
                                          const fs::path& transact) const {
        const auto people = staff_by_key(personal);
        std::vector<std::string> named;
        for (const PxRecord& r : pxlib_records(transact, {"PersonalID", "TransID"})) {
            const auto found = people.find(r.at("PersonalID"));
            named.push_back(r.at("TransID") + ":" +
                            (found == people.end() ? "#" + r.at("PersonalID") : found->second));
        }
        return named;
    }
    // A transaction names the same person as before; one that named nobody kept its value
    // (it may name somebody now: the numbers moved up to it).
    void expect_same_references(const std::vector<std::string>& before, const fs::path& personal,
                                const fs::path& transact, const std::string& when = {}) const {
        const std::vector<std::string> after = named_people(personal, transact);
        std::vector<std::string> values;
        for (const PxRecord& r : pxlib_records(transact, {"PersonalID", "TransID"}))
            values.push_back(r.at("TransID") + ":#" + r.at("PersonalID"));
        ASSERT_EQ(after.size(), before.size()) << when;
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < before.size(); ++i) {
            const bool namedNobody = before[i].find(":#") != std::string::npos;
            if ((namedNobody ? values[i] : after[i]) != before[i]) {
                if (++wrong <= 3)
                    ADD_FAILURE() << when << ": " << before[i] << " became " << after[i];
            }
        }
        EXPECT_EQ(wrong, 0U) << when;
    }
    std::vector<std::string> staff_keys() const {
        std::vector<std::string> keys;
        for (const PxRecord& r : pxlib_records(file("Personal"), {"PersonalID"}))
            keys.push_back(r.at("PersonalID"));
        return keys;
    }
    static std::vector<std::string> one_to_n(std::size_t n) {
        std::vector<std::string> keys;
        for (std::size_t i = 1; i <= n; ++i)
            keys.push_back(std::to_string(i));
        return keys;
    }
};

TEST_F(ReferencesTest, EveryTransactionNamesTheSamePersonAfterTheRenumbering) {
    const std::vector<std::string> before = named_people(file("Personal"), file("Transact"));
    const std::size_t staff = staff_keys().size();
    ASSERT_EQ(staff, 55U);
    std::size_t namingNobody = 0;
    for (const std::string& n : before)
        if (n.find(":#") != std::string::npos) ++namingNobody;
    ASSERT_GT(namingNobody, 0U) << "the fixture should hold transactions of staff who left";

    const RenumberedKey result =
        renumber_key(data(), "Personal", "PersonalID", run_engine_statement);

    EXPECT_EQ(staff_keys(), one_to_n(staff));
    expect_same_references(before, file("Personal"), file("Transact"));
    EXPECT_GT(result.referencesChanged, 0U);
    // The tables as they were stay in the run folder of the private directory.
    ASSERT_TRUE(fs::exists(result.keptCopy));
    EXPECT_EQ(result.keptCopy.parent_path(),
              private_dir() / pdx::database_id(data()) / ".rearrange");
    EXPECT_EQ(named_people(*pdx::find_table_file(result.keptCopy, "Personal"),
                           *pdx::find_table_file(result.keptCopy, "Transact")),
              before);
    for (const auto& entry : fs::directory_iterator(data()))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();

    // Once more: numbers without gaps stay as they are, and so does every reference.
    const RenumberedKey again =
        renumber_key(data(), "Personal", "PersonalID", run_engine_statement);
    EXPECT_EQ(again.referencesChanged, 0U);
    expect_same_references(before, file("Personal"), file("Transact"));
    EXPECT_NE(again.keptCopy, result.keptCopy);
}

TEST_F(ReferencesTest, AFailedRenumberingChangesNoTableAndKeepsNothing) {
    const std::vector<std::string> before = named_people(file("Personal"), file("Transact"));
    const StatementRunner failingAdd = [](const fs::path& directory, const std::string& sql) {
        if (sql.find(" ADD ") != std::string::npos) throw Error("Key violation in Personal.DB.");
        run_engine_statement(directory, sql);
    };
    EXPECT_THROW(renumber_key(data(), "Personal", "PersonalID", failingAdd), Error);
    EXPECT_EQ(named_people(file("Personal"), file("Transact")), before);
    // An add that did nothing would leave the table without its key: refused as well.
    const StatementRunner noAdd = [](const fs::path& directory, const std::string& sql) {
        if (sql.find(" DROP ") != std::string::npos) run_engine_statement(directory, sql);
    };
    EXPECT_THROW(renumber_key(data(), "Personal", "PersonalID", noAdd), Error);
    EXPECT_EQ(named_people(file("Personal"), file("Transact")), before);
    const fs::path runs = private_dir() / pdx::database_id(data()) / ".rearrange";
    EXPECT_TRUE(!fs::exists(runs) || fs::is_empty(runs));
    for (const auto& entry : fs::directory_iterator(data()))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
}

// The renumbering of the staff keys in a child process killed at its `killAt`-th crash
// point, or after `delay`; true when it was killed.
bool renumber_in_child(int killAt, std::optional<std::chrono::microseconds> delay,
                       const fs::path& directory) {
    return test_support::run_killed_child(
        [&] { renumber_key(directory, "Personal", "PersonalID", run_engine_statement); }, killAt,
        delay);
}

TEST_F(ReferencesTest, AKillAtAnyMomentLeavesTheOldStateOrTheNewWhole) {
    const std::vector<std::string> before = named_people(file("Personal"), file("Transact"));
    const std::vector<std::string> oldKeys = staff_keys();
    const fs::path pristine = private_dir().parent_path() / "pristine";
    fs::copy(data(), pristine);
    const auto restore = [&] {
        fs::remove_all(data());
        fs::copy(pristine, data());
    };

    const auto check = [&](const std::string& when) {
        // What the engine does before it opens a table of the directory.
        pdx::recover_family_changes(data());
        const std::vector<std::string> keys = staff_keys();
        EXPECT_TRUE(keys == oldKeys || keys == one_to_n(oldKeys.size())) << when;
        expect_same_references(before, file("Personal"), file("Transact"), when);
    };

    int killAt = 1;
    for (; killAt < 400; ++killAt) {
        restore();
        const bool killed = renumber_in_child(killAt, std::nullopt, data());
        check("killed at crash point " + std::to_string(killAt));
        if (!killed) break;
    }
    EXPECT_LT(killAt, 400) << "the renumbering never ended";
    EXPECT_EQ(staff_keys(), one_to_n(oldKeys.size()));

    std::mt19937 random(20261207);
    for (int round = 0; round < 8; ++round) {
        restore();
        const auto delay = std::chrono::microseconds(random() % 60000);
        renumber_in_child(0, delay, data());
        check("killed after " + std::to_string(delay.count()) + " microseconds");
    }
}

}  // namespace
}  // namespace vaq::maintenance::testing
