#include "engine/sql/tests/quoted_statements.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/sql/constants.h"
#include "engine/sql/parser.h"
#include "engine/sql/printer.h"

namespace pdx::sql::testing {
namespace {

std::string trace(const QuotedStatement& statement) {
    return std::string(statement.origin) + ": [" + std::string(statement.text) + "]";
}

std::string with_windows_line_breaks(std::string_view text) {
    std::string result;
    for (char c : text) {
        if (c == '\n') result += '\r';
        result += c;
    }
    return result + "\r\n";
}

TEST(QuotedStatements, ListHoldsEveryStatementOnceWithItsBlanksAndTabs) {
    const auto statements = quoted_statements();
    EXPECT_EQ(statements.size(), 252u);
    int with_tabs = 0;
    int multi_line = 0;
    int with_outer_blanks = 0;
    for (const QuotedStatement& s : statements) {
        with_tabs += s.text.find('\t') != std::string_view::npos;
        multi_line += s.text.find('\n') != std::string_view::npos;
        with_outer_blanks += s.text.front() == ' ' || s.text.back() == ' ';
    }
    EXPECT_EQ(with_tabs, 8);           // T4 to T11 and T14
    EXPECT_EQ(multi_line, 14);         // T1-T5, T7-T11, T17, T18, tmpdb create, tmpdb copy
    EXPECT_EQ(with_outer_blanks, 16);  // T1-T10, T17, their follow-ups, tmpdb copy
}

TEST(QuotedStatements, EachReadsAsExpected) {
    for (const QuotedStatement& s : quoted_statements()) {
        SCOPED_TRACE(trace(s));
        try {
            EXPECT_EQ(to_sql(parse(s.text)), s.expected);
        } catch (const SqlError& error) {
            ADD_FAILURE() << error.what();
        }
    }
}

TEST(QuotedStatements, WindowsLineBreaksReadTheSame) {
    for (const QuotedStatement& s : quoted_statements()) {
        SCOPED_TRACE(trace(s));
        EXPECT_EQ(to_sql(parse(with_windows_line_breaks(s.text))), s.expected);
    }
}

TEST(QuotedStatements, PrintedFormReadsBackUnchanged) {
    for (const QuotedStatement& s : quoted_statements()) {
        SCOPED_TRACE(trace(s));
        EXPECT_EQ(to_sql(parse(s.expected)), s.expected);
    }
}

const QuotedStatement& find(std::string_view origin) {
    for (const QuotedStatement& s : quoted_statements()) {
        if (s.origin == origin) return s;
    }
    throw std::logic_error("no statement from " + std::string(origin));
}

TEST(QuotedStatements, TableWithTabsBetweenItsColumnsKeepsEveryColumnAndTheKey) {
    const auto create = std::get<CreateTable>(parse(find("table step T7").text));
    EXPECT_EQ(create.table.name, "Leave.db");
    ASSERT_EQ(create.columns.size(), 10u);
    EXPECT_EQ(create.columns[0].name.text, "idLeave");
    EXPECT_EQ(create.columns[0].type, ColumnType::kSmallInt);
    EXPECT_EQ(create.columns[1].type, ColumnType::kChar);
    EXPECT_EQ(create.columns[1].size, 20);
    EXPECT_EQ(create.columns[7].name.text, "LeaveDateTime");
    EXPECT_EQ(create.columns[7].type, ColumnType::kDate);
    EXPECT_EQ(create.columns[9].name.text, "Remarks");
    EXPECT_EQ(create.columns[9].size, 255);
    ASSERT_EQ(create.primary_key.size(), 1u);
    EXPECT_EQ(create.primary_key[0].text, "IdLeave");
    // Line 3 starts after a line break and a tab.
    EXPECT_EQ(create.columns[7].name.position.line, 3);
    EXPECT_EQ(create.columns[7].name.position.column, 2);
}

TEST(QuotedStatements, TextInDoubleQuotesIsAValueInValues) {
    const auto insert = std::get<Insert>(parse(find("table step T6, follow-up 2").text));
    EXPECT_EQ(insert.table.name, "LeaveType.db");
    EXPECT_TRUE(insert.columns.empty());
    ASSERT_EQ(insert.rows.size(), 1u);
    ASSERT_EQ(insert.rows[0].size(), 2u);
    const auto& name = std::get<Literal>(insert.rows[0][1].node);
    EXPECT_EQ(name.kind, LiteralKind::kText);
    EXPECT_EQ(name.text, "Sick Leave with Certificate");
}

TEST(QuotedStatements, IdentityColumnIsAnAutoNumberedPrimaryKey) {
    const auto alter = std::get<AlterTable>(parse(find("key re-arrangement Transact: add").text));
    EXPECT_EQ(alter.table.name, "Transact");
    ASSERT_EQ(alter.actions.size(), 1u);
    const ColumnDef& column = std::get<AddColumn>(alter.actions[0]).column;
    EXPECT_EQ(column.name.text, "TransID");
    EXPECT_EQ(column.type, ColumnType::kInteger);
    ASSERT_TRUE(column.identity.has_value());
    EXPECT_EQ(column.identity->seed, 1);
    EXPECT_EQ(column.identity->increment, 1);
    EXPECT_TRUE(column.primary_key);
    ASSERT_TRUE(column.constraint.has_value());
    EXPECT_EQ(column.constraint->text, "PK_Transact");
}

TEST(QuotedStatements, InsertSelectCopiesFiveColumns) {
    const auto insert = std::get<Insert>(parse(find("anti-pass-back rebuild: copy").text));
    EXPECT_EQ(insert.table.name, "Tmpdb.DB");
    ASSERT_TRUE(insert.select.has_value());
    EXPECT_EQ(insert.select->table.name, "antipassback.db");
    ASSERT_EQ(insert.columns.size(), 5u);
    ASSERT_EQ(insert.select->items.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        const auto& ref = std::get<ColumnRef>(insert.select->items[i].expr.node);
        EXPECT_EQ(ref.column.text, insert.columns[i].text);
    }
}

// The value an UPDATE writes into a column just added converts to that column's type, as
// the executor will convert it.
void expect_value_fits(const ColumnDef& column, const Literal& value) {
    switch (column.type) {
        case ColumnType::kBoolean:
            EXPECT_EQ(value.kind, LiteralKind::kBoolean);
            break;
        case ColumnType::kSmallInt:
            EXPECT_NO_THROW(parse_integer(value.text, -32768, 32767, column.name.text));
            break;
        case ColumnType::kInteger:
            EXPECT_NO_THROW(parse_integer(value.text, INT32_MIN, INT32_MAX, column.name.text));
            break;
        case ColumnType::kFloat:
            EXPECT_EQ(parse_float(value.text, column.name.text), 1001.0);
            break;
        case ColumnType::kChar:
            EXPECT_EQ(value.kind, LiteralKind::kText);
            EXPECT_LE(value.text.size(), static_cast<std::size_t>(column.size));
            break;
        case ColumnType::kTime:
            parse_time(value.text, column.name.text);
            break;
        case ColumnType::kDate:
            parse_date(value.text, column.name.text);
            break;
        default:
            ADD_FAILURE() << "no UPDATE expected for this type";
    }
}

TEST(QuotedStatements, EveryUpdateValueConvertsToTheColumnAddedBeforeIt) {
    const auto statements = quoted_statements();
    int updates = 0;
    for (std::size_t i = 1; i < statements.size(); ++i) {
        if (!statements[i].origin.ends_with(": update")) continue;
        SCOPED_TRACE(trace(statements[i]));
        const auto alter = std::get<AlterTable>(parse(statements[i - 1].text));
        const ColumnDef& added = std::get<AddColumn>(alter.actions.at(0)).column;
        const auto update = std::get<Update>(parse(statements[i].text));
        ASSERT_EQ(update.assignments.size(), 1u);
        EXPECT_EQ(update.assignments[0].column.text, added.name.text);
        expect_value_fits(added, std::get<Literal>(update.assignments[0].value.node));
        ++updates;
    }
    EXPECT_EQ(updates, 15);
}

TEST(QuotedStatements, MidnightAndFirstOfJanuaryAreReadAsMeant) {
    const auto midnight =
        std::get<Update>(parse(find("column block 5: WinterTriggerTime: update").text));
    EXPECT_EQ(parse_time(std::get<Literal>(midnight.assignments[0].value.node).text), vaq::Time{});
    const auto new_year =
        std::get<Update>(parse(find("column block 5: SummerTriggerDate: update").text));
    EXPECT_EQ(parse_date(std::get<Literal>(new_year.assignments[0].value.node).text),
              (vaq::Date{2000, 1, 1}));
    const auto nine =
        std::get<Update>(parse(find("column block 12: WorkingHourStart: update").text));
    EXPECT_EQ(parse_time(std::get<Literal>(nine.assignments[0].value.node).text),
              (vaq::Time{9, 0, 0, 0}));
    const auto panic = std::get<Update>(parse(find("column block 5: PanicPIN: update").text));
    EXPECT_EQ(std::get<Literal>(panic.assignments[0].value.node).text, kPanicPin);
}

}  // namespace
}  // namespace pdx::sql::testing
