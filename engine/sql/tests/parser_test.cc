#include "engine/sql/parser.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "engine/sql/printer.h"

namespace pdx::sql {
namespace {

struct Reading {
    const char* sql;
    const char* expected;
};

// Forms beyond the statements the utility sends, each with its canonical reading.
constexpr Reading kReadings[] = {
    // statement ends, letter case of keywords, tables bare, quoted, with extension
    {"select * from door;", "SELECT * FROM \"door\""},
    {"SELECT * FROM Door.DB ;  ", "SELECT * FROM \"Door.DB\""},
    {"select * from 'Door'", "SELECT * FROM \"Door\""},
    {"select Name, \"Door ID\" as Id from \"Door.db\" as d",
     "SELECT Name, \"Door ID\" AS Id FROM \"Door.db\" AS d"},
    {"select distinct ControllerID from Door order by ControllerID desc, ID asc, Name",
     "SELECT DISTINCT ControllerID FROM \"Door\" ORDER BY ControllerID DESC, ID, Name"},
    // WHERE: AND binds before OR, NOT before AND, parentheses regroup
    {"select * from t where a = 1 or b = 2 and c = 3",
     "SELECT * FROM \"t\" WHERE (a = 1) OR ((b = 2) AND (c = 3))"},
    {"select * from t where (a = 1 or b = 2) and not c = 3",
     "SELECT * FROM \"t\" WHERE ((a = 1) OR (b = 2)) AND (NOT (c = 3))"},
    {"select * from t where not not a is null and b is not null",
     "SELECT * FROM \"t\" WHERE (NOT NOT (a IS NULL)) AND (b IS NOT NULL)"},
    {"select * from t where x = - - -5 and not not not y",
     "SELECT * FROM \"t\" WHERE (x = (- -(-5))) AND (NOT NOT NOT y)"},
    {"select * from t where a<>1 and b!=2 and c<3 and d<=4 and e>5 and f>=-6",
     "SELECT * FROM \"t\" WHERE (a <> 1) AND (b <> 2) AND (c < 3) AND (d <= 4) AND (e > 5) AND "
     "(f >= -6)"},
    {"select * from t where a = b + 2 * -c - 1",
     "SELECT * FROM \"t\" WHERE a = ((b + (2 * (-c))) - 1)"},
    {"select * from t where -(5) = +5", "SELECT * FROM \"t\" WHERE (-(5)) = 5"},
    // qualified columns; text in double quotes is a value unless a dot follows
    {"select * from Door where Door.ID = 1 and \"Door.db\".Name = \"Gate\" and x.db.y = 'a''b'",
     "SELECT * FROM \"Door\" WHERE (Door.ID = 1) AND (\"Door.db\".Name = 'Gate') AND "
     "(\"x.db\".y = 'a''b')"},
    {"select * from t where flag = TRUE or flag = false or v = null",
     "SELECT * FROM \"t\" WHERE (flag = TRUE) OR (flag = FALSE) OR (v = NULL)"},
    // names that are type words or SQL words in other dialects
    {"select Date, Time, Key, Name, Status, I from t",
     "SELECT Date, Time, Key, Name, Status, I FROM \"t\""},
    {"select \"from\" from t", "SELECT \"from\" FROM \"t\""},
    // INSERT
    {"insert into t (a, b) values (1, 'x'), (2, \"y\")",
     "INSERT INTO \"t\" (a, b) VALUES (1, 'x'), (2, 'y')"},
    {"insert into t values (-1.5, .5, 1e3, NULL, true)",
     "INSERT INTO \"t\" VALUES (-1.5, .5, 1e3, NULL, TRUE)"},
    {"insert into t select * from u where k > 0",
     "INSERT INTO \"t\" SELECT * FROM \"u\" WHERE k > 0"},
    // DELETE, UPDATE
    {"delete from t where a is null", "DELETE FROM \"t\" WHERE a IS NULL"},
    {"update t set a = 1, b = 'x', c = c + 1 where d = 2",
     "UPDATE \"t\" SET a = 1, b = 'x', c = c + 1 WHERE d = 2"},
    // CREATE TABLE with every type
    {"create table x (a char(1), b smallint, c integer, d int, e autoinc, f boolean, g date, "
     "h time, i datetime, j timestamp, k float, l money, m bcd(2), n memo(11), o blob(10), "
     "p fmtmemo(20), q ole(30), r graphic(250), s bytes(16))",
     "CREATE TABLE \"x\" (a CHAR(1), b SMALLINT, c INTEGER, d INTEGER, e AUTOINC, f BOOLEAN, "
     "g DATE, h TIME, i DATETIME, j DATETIME, k FLOAT, l MONEY, m BCD(2), n MEMO(11), "
     "o BLOB(10), p FMTMEMO(20), q OLE(30), r GRAPHIC(250), s BYTES(16))"},
    {"create table x (id integer primary key, n char(9))",
     "CREATE TABLE \"x\" (id INTEGER PRIMARY KEY, n CHAR(9))"},
    // ALTER TABLE: several items, ADD and DROP mixed, an item without a verb continues
    {"alter table t add a int, b char(3), drop column c, d, add column e date",
     "ALTER TABLE \"t\" ADD a INTEGER, ADD b CHAR(3), DROP c, DROP d, ADD e DATE"},
    {"alter table t add k int identity(0, -1) primary key",
     "ALTER TABLE \"t\" ADD k INTEGER IDENTITY(0, -1) PRIMARY KEY"},
    // indexes
    {"create unique desc index ix on \"t.db\" (a, b)",
     "CREATE UNIQUE DESC INDEX ix ON \"t.db\" (a, b)"},
    {"create asc index ix on t(a)", "CREATE INDEX ix ON \"t\" (a)"},
    {"drop index Leave.idx_StaffID", "DROP INDEX \"Leave\".idx_StaffID"},
    {"drop index Leave.db.idx_StaffID", "DROP INDEX \"Leave.db\".idx_StaffID"},
    {"drop index \"Leave.DB\".\"idx one\"", "DROP INDEX \"Leave.DB\".\"idx one\""},
    {"drop index 'Leave'.primary", "DROP INDEX \"Leave\".\"primary\""},
    {"drop index idx_StaffID on Leave", "DROP INDEX \"Leave\".idx_StaffID"},
    {"DROP TABLE tmpdb", "DROP TABLE \"tmpdb\""},
    // counting
    {"select count ( * ) from t where a > 1", "SELECT COUNT(*) FROM \"t\" WHERE a > 1"},
    {"select Count(*) as n from t", "SELECT COUNT(*) AS n FROM \"t\""},
};

TEST(Parser, ReadsEachFormAsExpectedAndBackAgain) {
    for (const Reading& reading : kReadings) {
        SCOPED_TRACE(reading.sql);
        try {
            EXPECT_EQ(to_sql(parse(reading.sql)), reading.expected);
            EXPECT_EQ(to_sql(parse(reading.expected)), reading.expected);
        } catch (const SqlError& error) {
            ADD_FAILURE() << error.what();
        }
    }
}

TEST(Parser, NamesKeepTheirPositions) {
    const auto update = std::get<Update>(parse("update\n\tDoor set\n  Name = 'x'"));
    EXPECT_EQ(update.table.position, (SourcePosition{8, 2, 2}));
    EXPECT_EQ(update.assignments[0].column.position, (SourcePosition{19, 3, 3}));
    EXPECT_EQ(update.assignments[0].value.position, (SourcePosition{26, 3, 10}));
}

TEST(Parser, StatementNames) {
    EXPECT_EQ(statement_name(parse("drop index t.i")), "DROP INDEX");
    EXPECT_EQ(statement_name(parse("insert into t values (1)")), "INSERT");
    EXPECT_EQ(statement_name(parse("alter table t drop a")), "ALTER TABLE");
}

struct Refusal {
    const char* sql;
    const char* message;
};

constexpr Refusal kRefusals[] = {
    {"SELECT * FROMM Door", "Syntax error at 'FROMM' (line 1, column 10): expected FROM"},
    {"SELECT a, b FROMM Door", "Syntax error at 'FROMM' (line 1, column 13): expected ',' or FROM"},
    {"SELECT * FROM Door WHER a = 1",
     "Syntax error at 'WHER' (line 1, column 20): expected WHERE, ORDER BY or the end of the "
     "statement"},
    {"SELECT * FROM Door WHERE a = ",
     "Syntax error at the end of the statement (line 1, column 30): expected a value or a "
     "column name"},
    {"SELECT * FROM Door WHERE (a = 1",
     "Syntax error at the end of the statement (line 1, column 32): expected ')'"},
    {"SELECT * FROM Door WHERE a IS 1", "Syntax error at '1' (line 1, column 31): expected NULL"},
    {"SELECT * FROM Door ORDER a", "Syntax error at 'a' (line 1, column 26): expected BY"},
    {"SELECT * FROM",
     "Syntax error at the end of the statement (line 1, column 14): expected a table name"},
    {"SELECT * FROM from",
     "Syntax error at 'from' (line 1, column 15): expected a table name; FROM is a keyword, "
     "write it in double quotes to use it as a name"},
    {"SELEC * FROM Door",
     "Syntax error at 'SELEC' (line 1, column 1): expected a statement: CREATE, ALTER, DROP, "
     "INSERT, DELETE, UPDATE or SELECT"},
    {"",
     "Syntax error at the end of the statement (line 1, column 1): expected a statement: "
     "CREATE, ALTER, DROP, INSERT, DELETE, UPDATE or SELECT"},
    {"select * from t; select * from u",
     "Syntax error at 'select' (line 1, column 18): expected the end of the statement"},
    {"CREATE TABLE t (a char(20) b int)",
     "Syntax error at 'b' (line 1, column 28): expected ',' or ')'"},
    {"CREATE TABLE t (a varchar(20))",
     "Syntax error at 'varchar' (line 1, column 19): expected the type of column a: char(n), "
     "smallint, integer, autoinc, boolean, date, time, datetime, float, money, bcd(n), "
     "memo(n), blob(n), fmtmemo(n), ole(n), graphic(n) or bytes(n)"},
    {"CREATE TABLE t (a char, b int)",
     "Syntax error at ',' (line 1, column 23): expected '(' and the size of the char column"},
    {"CREATE TABLE t (a smallint(4))",
     "Syntax error at '(' (line 1, column 27): a smallint column takes no size"},
    {"CREATE TABLE t (a char(0))",
     "Invalid size 0 for the char column a (line 1, column 24): the size must be a whole "
     "number from 1 to 255"},
    {"CREATE TABLE t (a char(256))",
     "Invalid size 256 for the char column a (line 1, column 24): the size must be a whole "
     "number from 1 to 255"},
    {"CREATE TABLE t (a Char(2.5))",
     "Invalid size 2.5 for the char column a (line 1, column 24): the size must be a whole "
     "number from 1 to 255"},
    {"CREATE TABLE t (a int, primary key (a), primary key (a))",
     "A table has one primary key, but this statement gives a second one (line 1, column 41): "
     "list all its columns in one PRIMARY KEY (...)"},
    {"CREATE TABLE t (a int primary key, b int primary key)",
     "A table has one primary key, but this statement gives a second one (line 1, column 36): "
     "list all its columns in one PRIMARY KEY (...)"},
    {"CREATE TABLE t (a int, primary (a))",
     "Syntax error at '(' (line 1, column 32): expected KEY"},
    {"CREATE TABL t (a int)", "Syntax error at 'TABL' (line 1, column 8): expected TABLE or INDEX"},
    {"CREATE INDEX ON t (a)",
     "Syntax error at 'ON' (line 1, column 14): expected an index name; ON is a keyword, write "
     "it in double quotes to use it as a name"},
    {"CREATE INDEX i t (a)", "Syntax error at 't' (line 1, column 16): expected ON"},
    {"ALTER TABLE t a int", "Syntax error at 'a' (line 1, column 15): expected ADD or DROP"},
    {"ALTER TABLE t add a int identity(1)",
     "Syntax error at ')' (line 1, column 35): expected ','"},
    {"ALTER TABLE t add a int constraint pk primary",
     "Syntax error at the end of the statement (line 1, column 46): expected KEY"},
    {"DROP INDEX t",
     "Syntax error at the end of the statement (line 1, column 13): expected '.' "
     "and the index name, or ON and the table name"},
    {"DROP VIEW v", "Syntax error at 'VIEW' (line 1, column 6): expected TABLE or INDEX"},
    {"INSERT INTO t (a, b) VALUE (1, 2)",
     "Syntax error at 'VALUE' (line 1, column 22): expected VALUES or SELECT"},
    {"INSERT INTO t VALUES (1, 2",
     "Syntax error at the end of the statement (line 1, column 27): expected ',' or ')'"},
    {"INSERT t VALUES (1)", "Syntax error at 't' (line 1, column 8): expected INTO"},
    {"UPDATE t SET a 1", "Syntax error at '1' (line 1, column 16): expected '='"},
    {"UPDATE t SET a = 1 b = 2",
     "Syntax error at 'b' (line 1, column 20): expected ',', WHERE or the end of the statement"},
    {"DELETE t", "Syntax error at 't' (line 1, column 8): expected FROM"},
    {"select count(*), a from t", "Syntax error at ',' (line 1, column 16): expected FROM"},
    {"select \"\" from t",
     "Syntax error at \"\" (line 1, column 8): a column name cannot be empty"},
    {"update t set \"\" = 1",
     "Syntax error at \"\" (line 1, column 14): a column name cannot be empty"},
};

TEST(Parser, RefusesBadStatementsNamingWhatAndWhere) {
    for (const Refusal& refusal : kRefusals) {
        SCOPED_TRACE(refusal.sql);
        try {
            parse(refusal.sql);
            ADD_FAILURE() << "accepted";
        } catch (const SqlError& error) {
            EXPECT_EQ(std::string(error.what()), refusal.message);
            EXPECT_TRUE(error.position().has_value());
        }
    }
}

std::string repeated(std::string_view text, std::size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

// Nesting is bounded, so that reading, evaluating and printing an expression never exhaust
// the stack; chains of AND and OR are not nesting and may be of any length.
TEST(Parser, ExpressionsNestAtMostTheLimitButChainsHaveNone) {
    const auto nested = [](std::size_t depth) {
        return "select * from t where " + repeated("(", depth) + "a = 1" + repeated(")", depth);
    };
    EXPECT_NO_THROW(parse(nested(kMaxExpressionDepth - 1)));
    // What reads within the limit prints as text that reads back within it.
    for (const std::string& sql : {"select * from t where " + repeated("not ", 998) + "a = 1",
                                   "select * from t where a = " + repeated("- ", 997) + "b"}) {
        EXPECT_NO_THROW(parse(to_sql(parse(sql))));
    }
    const auto refused = [](const std::string& sql) {
        try {
            parse(sql);
        } catch (const SqlError& error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    const std::string too_deep = "the expression nests more than 1000 levels deep";
    EXPECT_NE(refused(nested(5000)).find(too_deep), std::string::npos) << refused(nested(5000));
    EXPECT_NE(refused("select * from t where " + repeated("not ", 2000) + "a = 1").find(too_deep),
              std::string::npos);
    EXPECT_NE(refused("select * from t where a = " + repeated("- ", 2000) + "1").find(too_deep),
              std::string::npos);
    EXPECT_NE(refused("select * from t where a = 1" + repeated(" + 1", 2000)).find(too_deep),
              std::string::npos);
    EXPECT_NE(refused("select * from t where a = 1" + repeated(" * 2", 2000)).find(too_deep),
              std::string::npos);

    const auto chain =
        std::get<Select>(parse("select * from t where X = 1" + repeated(" or X = 1", 19'999)));
    const auto& terms = std::get<LogicalExpr>(chain.where->node).terms;
    EXPECT_EQ(terms.size(), 20'000u);
    const auto both = std::get<Select>(
        parse("select * from t where X = 1" + repeated(" and X = 1 or X = 2", 20'000)));
    EXPECT_EQ(std::get<LogicalExpr>(both.where->node).terms.size(), 20'001u);
}

TEST(Parser, ErrorOnALaterLineGivesThatLine) {
    try {
        parse(" Create TABLE \"DoorTree.db\" (\t PKey autoInc, \n DoorID  SmalInt )");
        FAIL() << "accepted";
    } catch (const SqlError& error) {
        EXPECT_EQ(error.position(), (SourcePosition{55, 2, 10}));
        EXPECT_NE(std::string(error.what()).find("at 'SmalInt' (line 2, column 10)"),
                  std::string::npos);
    }
}

TEST(Parser, TableNamesNeverLeaveTheDatabaseDirectory) {
    const char* const kEscapes[] = {
        "select * from \"../Door.db\"",       "select * from '..'",
        "select * from \"sub/Door.db\"",      "select * from 'C:\\VAQ\\Door.db'",
        "delete from \"/etc/passwd\"",        "drop table \"..\\x\"",
        "insert into '../t' values (1)",      "update \"a/b\" set c = 1",
        "create table \"../new.db\" (a int)", "alter table '../t' add a int",
        "create index i on \"x/y\" (a)",      "drop index \"../t\".i",
        "insert into t select * from '../u'", "select * from \"Door\tdb\"",
    };
    for (const char* sql : kEscapes) {
        SCOPED_TRACE(sql);
        try {
            parse(sql);
            ADD_FAILURE() << "accepted";
        } catch (const SqlError& error) {
            EXPECT_NE(std::string(error.what()).find("Invalid table name"), std::string::npos)
                << error.what();
        }
    }
    try {
        parse("select * from \"../Door.db\"");
    } catch (const SqlError& error) {
        EXPECT_STREQ(error.what(),
                     "Invalid table name \"../Door.db\" (line 1, column 15): a table name may not "
                     "hold a path separator, '..' or a control character");
    }
    try {
        parse("select * from ''");
    } catch (const SqlError& error) {
        EXPECT_STREQ(error.what(), "A table name cannot be empty (line 1, column 15)");
    }
    // A dot inside a name is no path: the extension is one.
    EXPECT_NO_THROW(parse("select * from \"Door.DB\""));
    EXPECT_NO_THROW(parse("select * from 'v1.2 Door.db'"));
}

}  // namespace
}  // namespace pdx::sql
