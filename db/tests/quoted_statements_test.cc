// Every statement the utility sends, byte for byte, run through the query object against a
// generated database of the old layout, each followed by a check of what it did: the
// columns and keys it made, the rows it wrote, the rows it left alone. Afterwards every
// table still reads the same through pxlib.
//
// The statements run in the order of the list, the index statements last (as the upgrade
// makes sure of its indexes after the column blocks). Where the database is not in the
// state a statement was written for (a column the generated table already has, a leftover
// table to drop), the test first puts it in that state with statements of its own, as an
// older database would be; the statement from the list then runs as quoted.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "common/text.h"
#include "db/query.h"
#include "db/table.h"
#include "db/tests/db_test_support.h"
#include "engine/sql/define.h"
#include "engine/sql/parser.h"
#include "engine/sql/printer.h"
#include "engine/sql/tests/quoted_statements.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "engine/table/tests/pxlib_reader.h"
#include "generator/database_generator.h"

namespace vaq::db {
namespace {

namespace fs = std::filesystem;
namespace sql = pdx::sql;
using sql::testing::QuotedStatement;
using Rows = std::vector<std::map<std::string, std::string>>;

std::string trace(const QuotedStatement& s) {
    return std::string(s.origin) + ": [" + std::string(s.text) + "]";
}

bool is_index_step(const QuotedStatement& s) {
    return std::holds_alternative<sql::CreateIndex>(sql::parse(s.text));
}

class QuotedStatementsRun : public testing::AliasDirectory {
  protected:
    void SetUp() override {
        AliasDirectory::SetUp();
        bench::GeneratorOptions options;
        options.site.controllers = 2;
        options.site.doorsPerController = 4;  // door 7 exists
        options.site.staff = 30;
        options.site.transactions = 300;
        options.site.newerTables = bench::NewerTables::kNone;
        options.out = data();
        options.replace = true;
        bench::generate_database(options);
    }

    void run(std::string_view text, bool open = false) {
        Query query;
        query.set_sql(text);
        if (open)
            query.open();
        else
            query.exec_sql();
    }

    std::optional<fs::path> table_file(std::string_view name) const {
        return pdx::find_table_file(data(), name);
    }

    // Every record in table order, each field by name as text.
    Rows rows_of(std::string_view name) const {
        Rows rows;
        const auto table = pdx::Table::open(data(), name);
        for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next()) {
            std::map<std::string, std::string> row;
            for (const pdx::Field& field : table->schema().fields())
                row[ascii_lower(field.name)] =
                    sql::describe(sql::value_of(cursor->value(field.index)));
            rows.push_back(std::move(row));
        }
        return rows;
    }

    // A copy: holding the table open would stand in the way of the next statement.
    std::optional<pdx::Field> field_of(std::string_view table, std::string_view column) const {
        const auto open = pdx::Table::open(data(), table);
        const auto index = open->schema().find(column);
        if (!index) return std::nullopt;
        return open->schema()[*index];
    }

    // Puts the database in the state the statement was written for.
    void prepare(const sql::Statement& statement) {
        if (const auto* create = std::get_if<sql::CreateTable>(&statement)) {
            if (table_file(create->table.name)) run("Drop Table \"" + create->table.name + "\"");
        } else if (const auto* alter = std::get_if<sql::AlterTable>(&statement)) {
            for (const sql::AlterAction& action : alter->actions) {
                if (const auto* add = std::get_if<sql::AddColumn>(&action)) {
                    if (field_of(alter->table.name, add->column.name.text))
                        run("alter table \"" + alter->table.name + "\" drop " +
                            add->column.name.text);
                }
            }
        } else if (const auto* drop = std::get_if<sql::DropTable>(&statement)) {
            if (!table_file(drop->table.name))
                run("Create table \"" + drop->table.name + "\" (Leftover smallint)");
        } else if (const auto* index = std::get_if<sql::CreateIndex>(&statement)) {
            Table table("VAQ", index->table.name);
            for (const std::string& name : table.index_names())
                if (iequals(name, index->name.text)) table.delete_index(name);
        }
    }

    // The literal an UPDATE or INSERT writes, as the field reads it back.
    std::string expected_value(const pdx::Field& field, const sql::Expr& expr) {
        const sql::SqlValue literal = sql::value_of(std::get<sql::Literal>(expr.node));
        switch (field.type()) {
            case pdx::FieldType::kDate:
                return sql::describe(sql::convert_text(literal, sql::ValueKind::kDate, field.name));
            case pdx::FieldType::kTime:
                return sql::describe(sql::convert_text(literal, sql::ValueKind::kTime, field.name));
            case pdx::FieldType::kNumber:
                return sql::describe(sql::SqlValue::of_float(literal.as_double()));
            case pdx::FieldType::kAlpha:
                return literal.kind == sql::ValueKind::kText ? "'" + literal.text + "'"
                                                             : sql::describe(literal);
            default:
                return sql::describe(literal);
        }
    }

    void check_select(const sql::Select& select, const QuotedStatement& s) {
        Query query;
        query.set_sql(s.text);
        query.open();
        const auto table = pdx::Table::open(data(), select.table.name);
        std::vector<std::string> names;
        for (const pdx::Field& field : table->schema().fields())
            names.push_back(field.name);
        EXPECT_EQ(query.field_names(), names);
        EXPECT_EQ(query.record_count(), table->record_count());
    }

    void check_create(const sql::CreateTable& create) {
        const auto table = pdx::Table::open(data(), create.table.name);
        ASSERT_EQ(table->schema().size(), create.columns.size());
        for (std::size_t i = 0; i < create.columns.size(); ++i)
            expect_layout(table->schema()[i], create.columns[i]);
        EXPECT_EQ(table->schema().key_fields(), create.primary_key.size());
        EXPECT_EQ(table->record_count(), 0u);
    }

    static void expect_layout(const pdx::Field& field, const sql::ColumnDef& column) {
        const pdx::FieldSpec spec = sql::field_spec(column);
        EXPECT_TRUE(iequals(field.name, column.name.text)) << field.name;
        EXPECT_EQ(field.type(), spec.type) << field.name;
        if (spec.size != 0) {
            EXPECT_EQ(field.descriptor.size, spec.size) << field.name;
        }
    }

    void check_alter(const sql::AlterTable& alter, const Rows& before) {
        const Rows after = rows_of(alter.table.name);
        ASSERT_EQ(after.size(), before.size());
        const auto table = pdx::Table::open(data(), alter.table.name);
        for (const sql::AlterAction& action : alter.actions) {
            if (const auto* drop = std::get_if<sql::DropColumn>(&action)) {
                EXPECT_FALSE(table->schema().find(drop->column.text)) << drop->column.text;
                continue;
            }
            const sql::ColumnDef& column = std::get<sql::AddColumn>(action).column;
            const auto index = table->schema().find(column.name.text);
            ASSERT_TRUE(index) << column.name.text;
            expect_layout(table->schema()[*index], column);
            // A new key leads the record; other new columns follow the old ones.
            EXPECT_EQ(*index, column.primary_key ? 0 : table->schema().size() - 1);
            if (column.primary_key) {
                EXPECT_EQ(table->schema().key_fields(), 1u);
            }
            const std::string key = ascii_lower(column.name.text);
            for (std::size_t r = 0; r < after.size(); ++r) {
                // An identity numbers the rows from 1 in table order; others start empty.
                EXPECT_EQ(after[r].at(key), column.identity ? std::to_string(r + 1) : "NULL");
            }
        }
        // Every column that stays keeps its values.
        const auto added = [&](const std::string& name) {
            return std::any_of(alter.actions.begin(), alter.actions.end(),
                               [&](const sql::AlterAction& a) {
                                   const auto* add = std::get_if<sql::AddColumn>(&a);
                                   return add && iequals(add->column.name.text, name);
                               });
        };
        for (std::size_t r = 0; r < after.size(); ++r)
            for (const auto& [name, value] : after[r])
                if (before[r].count(name) && !added(name)) {
                    EXPECT_EQ(value, before[r].at(name)) << name << " row " << r;
                }
    }

    void check_update(const sql::Update& update, const Rows& before) {
        const Rows after = rows_of(update.table.name);
        ASSERT_EQ(after.size(), before.size());
        for (const sql::Assignment& assignment : update.assignments) {
            const auto field = field_of(update.table.name, assignment.column.text);
            ASSERT_TRUE(field);
            const std::string expected = expected_value(*field, assignment.value);
            for (std::size_t r = 0; r < after.size(); ++r) {
                EXPECT_EQ(after[r].at(ascii_lower(field->name)), expected);
                for (const auto& [name, value] : after[r]) {
                    if (!iequals(name, field->name)) {
                        EXPECT_EQ(value, before[r].at(name)) << name;
                    }
                }
            }
        }
    }

    void check_insert(const sql::Insert& insert, const Rows& before) {
        const Rows after = rows_of(insert.table.name);
        if (insert.select) {
            const Rows source = rows_of(insert.select->table.name);
            ASSERT_EQ(after.size(), before.size() + source.size());
            for (std::size_t r = 0; r < source.size(); ++r)
                for (const sql::Name& column : insert.columns)
                    EXPECT_EQ(after[before.size() + r].at(ascii_lower(column.text)),
                              source[r].at(ascii_lower(column.text)));
            return;
        }
        ASSERT_EQ(after.size(), before.size() + insert.rows.size());
        const auto table = pdx::Table::open(data(), insert.table.name);
        std::map<std::string, std::string> wanted;
        for (std::size_t i = 0; i < insert.rows[0].size(); ++i) {
            const pdx::Field& field = insert.columns.empty()
                                          ? table->schema()[i]
                                          : *field_of(insert.table.name, insert.columns[i].text);
            wanted[ascii_lower(field.name)] = expected_value(field, insert.rows[0][i]);
        }
        const bool found = std::any_of(after.begin(), after.end(), [&](const auto& row) {
            return std::all_of(wanted.begin(), wanted.end(),
                               [&](const auto& w) { return row.at(w.first) == w.second; });
        });
        EXPECT_TRUE(found);
    }

    // The index is listed, and the table walks in its order.
    void check_index(const sql::CreateIndex& index) {
        Table table("VAQ", index.table.name);
        const auto names = table.index_names();
        ASSERT_TRUE(std::any_of(names.begin(), names.end(),
                                [&](const std::string& n) { return iequals(n, index.name.text); }));
        table.set_index_name(index.name.text);
        table.open();
        std::optional<sql::SqlValue> previous;
        std::uint32_t walked = 0;
        for (; !table.eof(); table.next(), ++walked) {
            const sql::SqlValue value = table.field_by_name(index.columns[0].text).value();
            if (previous) {
                EXPECT_LE(sql::sort_compare(*previous, value), 0);
            }
            previous = value;
        }
        EXPECT_EQ(walked, table.record_count());
    }

    void check(const sql::Statement& statement, const QuotedStatement& s, const Rows& before) {
        if (const auto* select = std::get_if<sql::Select>(&statement)) {
            check_select(*select, s);
        } else if (const auto* create = std::get_if<sql::CreateTable>(&statement)) {
            check_create(*create);
        } else if (const auto* alter = std::get_if<sql::AlterTable>(&statement)) {
            check_alter(*alter, before);
        } else if (const auto* update = std::get_if<sql::Update>(&statement)) {
            check_update(*update, before);
        } else if (const auto* insert = std::get_if<sql::Insert>(&statement)) {
            check_insert(*insert, before);
        } else if (const auto* del = std::get_if<sql::Delete>(&statement)) {
            EXPECT_TRUE(rows_of(del->table.name).empty());
        } else if (const auto* drop = std::get_if<sql::DropTable>(&statement)) {
            EXPECT_FALSE(table_file(drop->table.name));
        } else if (const auto* index = std::get_if<sql::CreateIndex>(&statement)) {
            check_index(*index);
        }
    }

    static std::string table_of(const sql::Statement& statement) {
        return std::visit([](const auto& s) { return s.table.name; }, statement);
    }

    // Runs one statement of the list and checks it.
    void run_quoted(const QuotedStatement& s) {
        SCOPED_TRACE(trace(s));
        const sql::Statement statement = sql::parse(s.text);
        prepare(statement);
        const std::string table = table_of(statement);
        const Rows before = table_file(table) ? rows_of(table) : Rows{};
        try {
            run(s.text, std::holds_alternative<sql::Select>(statement));
        } catch (const Error& error) {
            ADD_FAILURE() << error.what();
            return;
        }
        check(statement, s, before);
    }
};

// Reads every table of the directory through pxlib and through our reader, field by field.
void expect_pxlib_reads_the_same(const fs::path& directory) {
    for (const auto& entry : fs::directory_iterator(directory)) {
        if (!pdx::same_file_name(entry.path().extension().string(), ".db")) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const auto table = pdx::Table::open_file(entry.path());
        pdx::testing::PxlibTable px(entry.path().string());
        ASSERT_EQ(px.record_count(), static_cast<int>(table->record_count()));
        ASSERT_EQ(px.field_count(), static_cast<int>(table->schema().size()));
        int r = 0;
        for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next(), ++r) {
            const char* theirs = px.read_record(r);
            const pdx::Bytes ours = cursor->record();
            // pxlib walks the same chain: the records are the same bytes.
            ASSERT_TRUE(
                std::equal(ours.begin(), ours.end(), reinterpret_cast<const std::uint8_t*>(theirs)))
                << "record " << r;
            std::size_t offset = 0;
            for (int f = 0; f < px.field_count(); ++f) {
                const pxfield_t& field = px.field(f);
                char* data = const_cast<char*>(theirs) + offset;
                offset += static_cast<std::size_t>(field.px_flen);
                const pdx::Value value = cursor->value(static_cast<std::size_t>(f));
                if (value.is_null()) continue;
                if (field.px_ftype == pxfShort) {
                    short s = 0;
                    ASSERT_GT(PX_get_data_short(px.doc(), data, field.px_flen, &s), 0);
                    EXPECT_EQ(s, *value.integer()) << field.px_fname;
                } else if (field.px_ftype == pxfLong || field.px_ftype == pxfAutoInc) {
                    long l = 0;
                    ASSERT_GT(PX_get_data_long(px.doc(), data, field.px_flen, &l), 0);
                    EXPECT_EQ(l, *value.integer()) << field.px_fname;
                } else if (field.px_ftype == pxfLogical) {
                    char b = 0;
                    ASSERT_GT(PX_get_data_byte(px.doc(), data, field.px_flen, &b), 0);
                    EXPECT_EQ(b != 0, *value.logical()) << field.px_fname;
                } else if (field.px_ftype == pxfNumber) {
                    double d = 0;
                    ASSERT_GT(PX_get_data_double(px.doc(), data, field.px_flen, &d), 0);
                    EXPECT_EQ(d, *value.number()) << field.px_fname;
                } else if (field.px_ftype == pxfAlpha && px.converts_text()) {
                    char* text = nullptr;
                    ASSERT_GT(PX_get_data_alpha(px.doc(), data, field.px_flen, &text), 0);
                    EXPECT_EQ(std::string(text), value.as_text()) << field.px_fname;
                    px.doc()->free(px.doc(), text);
                }
            }
        }
    }
}

TEST_F(QuotedStatementsRun, EveryStatementDoesWhatItSaysOnAnOldDatabase) {
    int ran = 0;
    for (const QuotedStatement& s : sql::testing::quoted_statements()) {
        if (is_index_step(s)) continue;
        run_quoted(s);
        ++ran;
        if (HasFatalFailure()) return;
    }
    for (const QuotedStatement& s : sql::testing::quoted_statements()) {
        if (!is_index_step(s)) continue;
        run_quoted(s);
        ++ran;
    }
    EXPECT_EQ(ran, static_cast<int>(sql::testing::quoted_statements().size()));

    // The constants the utility writes, as meant.
    const auto ctrller = rows_of("Ctrller");
    ASSERT_FALSE(ctrller.empty());
    for (const auto& row : ctrller) {
        EXPECT_EQ(row.at("wintertriggertime"), "00:00:00");
        EXPECT_EQ(row.at("wintertriggerdate"), "2000-01-01");
        EXPECT_EQ(row.at("enablepanicpin"), "false");
        EXPECT_EQ(row.at("udp_port"), "1001");
        EXPECT_EQ(row.at("panicpin"), "'1234'");
    }
    const auto events = rows_of("events");
    ASSERT_EQ(events.size(), 50u);
    EXPECT_EQ(events[13].at("events"), "'I/O Events'");
    const auto leaveTypes = rows_of("LeaveType");
    ASSERT_EQ(leaveTypes.size(), 3u);
    EXPECT_EQ(leaveTypes[1].at("leavetypename"), "'Sick Leave with Certificate'");

    expect_pxlib_reads_the_same(data());
}

}  // namespace
}  // namespace vaq::db
