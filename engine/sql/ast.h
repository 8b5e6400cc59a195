#pragma once

// The statements of the engine's local SQL as plain data. Names keep the letter case and
// the extension they were written with; quotes are gone. Matching names against tables and
// fields (case ignored, extension optional) is the executor's work.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/sql/sql_error.h"

namespace pdx::sql {

// A column, index or constraint name.
struct Name {
    std::string text;
    SourcePosition position;
};

// A table as named in the statement: "WorkON.DB", Ctrller.db and 'Leave' give WorkON.DB,
// Ctrller.db and Leave. Never holds a path separator or "..": the parser refuses those.
struct TableRef {
    std::string name;
    SourcePosition position;
};

enum class ColumnType {
    kChar,       // char(n): text of at most n bytes, n from 1 to 255
    kSmallInt,   // 16-bit integer
    kInteger,    // 32-bit integer (also written int)
    kAutoInc,    // 32-bit integer numbered by the table
    kBoolean,    //
    kDate,       //
    kTime,       //
    kTimestamp,  // datetime or timestamp
    kFloat,      // 64-bit floating point
    kMoney,      // 64-bit floating point shown as currency
    kBcd,        // bcd(n): packed decimal with n decimals
    kMemo,       // memo(n) and the other blob types: n is the width in the record, 10 bytes of
                 // it the pointer to the blob file
    kBlob,       //
    kFmtMemo,    //
    kOle,        //
    kGraphic,    //
    kBytes,      // bytes(n): n raw bytes
};

// IDENTITY(seed, increment) of an added column: the table numbers it.
struct Identity {
    std::int64_t seed = 1;
    std::int64_t increment = 1;
};

struct ColumnDef {
    Name name;
    ColumnType type = ColumnType::kChar;
    // The number in parentheses after the type; 0 for types written without one.
    int size = 0;
    std::optional<Identity> identity;
    // PRIMARY KEY written after the type, with the name of its CONSTRAINT if one was given.
    bool primary_key = false;
    std::optional<Name> constraint;
};

// ---- expressions ----

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

enum class LiteralKind { kNull, kBoolean, kNumber, kText };

struct Literal {
    LiteralKind kind = LiteralKind::kNull;
    // kNumber: the number as written, with its sign ("-5", "1001", "0.5"), so that the field
    // it goes into decides how to read it. kText: the text, quotes removed.
    std::string text;
    bool boolean = false;  // kBoolean
};

// A column, possibly qualified by its table: DoorID, Door.DoorID, "Door.db".DoorID.
struct ColumnRef {
    std::string table;  // empty when not qualified
    Name column;
};

enum class UnaryOp { kNot, kNegate };

enum class BinaryOp {
    kEqual,
    kNotEqual,
    kLess,
    kLessEqual,
    kGreater,
    kGreaterEqual,
    kAnd,
    kOr,
    kAdd,
    kSubtract,
    kMultiply,
    kDivide,
};

struct UnaryExpr {
    UnaryOp op = UnaryOp::kNot;
    ExprPtr operand;
};

struct BinaryExpr {
    BinaryOp op = BinaryOp::kEqual;
    ExprPtr left;
    ExprPtr right;
};

// x IS NULL, x IS NOT NULL
struct IsNullExpr {
    ExprPtr operand;
    bool negated = false;
};

// a AND b AND c, a OR b OR c: the terms of one chain side by side (op is kAnd or kOr), so
// that a chain of any length is neither built nor evaluated nor destroyed by recursion.
struct LogicalExpr {
    BinaryOp op = BinaryOp::kAnd;
    std::vector<Expr> terms;
};

struct Expr {
    std::variant<Literal, ColumnRef, UnaryExpr, BinaryExpr, IsNullExpr, LogicalExpr> node;
    SourcePosition position;
};

// ---- statements ----

struct CreateTable {
    TableRef table;
    std::vector<ColumnDef> columns;
    // PRIMARY KEY (a, b) of the table; empty when the table has none.
    std::vector<Name> primary_key;
};

struct AddColumn {
    ColumnDef column;
};

struct DropColumn {
    Name column;
};

using AlterAction = std::variant<AddColumn, DropColumn>;

// ALTER TABLE t ADD a int, DROP b, ...: the actions in the order written.
struct AlterTable {
    TableRef table;
    std::vector<AlterAction> actions;
};

struct CreateIndex {
    Name name;
    TableRef table;
    std::vector<Name> columns;
    bool unique = false;
    bool descending = false;
};

// DROP INDEX t.name, or DROP INDEX name ON t.
struct DropIndex {
    TableRef table;
    Name name;
};

struct SelectItem {
    Expr expr;
    std::optional<Name> alias;  // AS alias
};

struct OrderItem {
    ColumnRef column;
    bool descending = false;
};

struct Select {
    bool distinct = false;
    bool all_columns = false;  // SELECT *; then `items` is empty
    // SELECT COUNT(*) [AS alias]: one row, the number of records that meet WHERE; then
    // `items` is empty and `count_alias` names the column when AS gave a name.
    bool count_all = false;
    std::optional<Name> count_alias;
    std::vector<SelectItem> items;
    TableRef table;
    std::optional<Name> table_alias;  // FROM t AS alias
    std::optional<Expr> where;
    std::vector<OrderItem> order_by;
};

// INSERT INTO t [(columns)] VALUES (...)[, (...)] or INSERT INTO t [(columns)] SELECT ...
// Exactly one of `rows` and `select` is filled. Without a column list the values go to the
// table's columns in order.
struct Insert {
    TableRef table;
    std::vector<Name> columns;
    std::vector<std::vector<Expr>> rows;
    std::optional<Select> select;
};

struct Delete {
    TableRef table;
    std::optional<Expr> where;
};

struct Assignment {
    Name column;
    Expr value;
};

struct Update {
    TableRef table;
    std::vector<Assignment> assignments;
    std::optional<Expr> where;
};

struct DropTable {
    TableRef table;
};

using Statement = std::variant<CreateTable, AlterTable, CreateIndex, DropIndex, Insert, Delete,
                               Update, Select, DropTable>;

// "CREATE TABLE", "ALTER TABLE", ... for messages.
std::string_view statement_name(const Statement& statement);

}  // namespace pdx::sql
