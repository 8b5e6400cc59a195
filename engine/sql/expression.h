#pragma once

// Expressions of a statement bound to the table they read: column names are looked up once,
// then the expression is evaluated record after record.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/coding.h"
#include "engine/sql/ast.h"
#include "engine/sql/sql_value.h"

namespace pdx {
class Table;
}

namespace pdx::sql {

// The table a statement works on, as its columns may name it: by the name written in the
// statement (with or without extension), by its file name, or by the alias given after FROM.
struct Scope {
    const Table* table = nullptr;
    std::string written_name;
    std::optional<std::string> alias;
};

// The field a column names, letter case ignored. Throws SqlError naming the column, the
// table and the column's place in the statement when the table has no such field, and when
// the column is qualified by another table.
std::size_t resolve_column(const Scope& scope, const ColumnRef& column);
std::size_t resolve_column(const Scope& scope, const Name& column);

// Adds the place in the statement to an error raised without one (a constant that is not a
// date, two values that cannot be compared) and throws it again. Call inside a catch block.
[[noreturn]] void rethrow_at(const SqlError& error, SourcePosition position);

class BoundExpr {
  public:
    static BoundExpr bind(const Expr& expr, const Scope& scope);

    SqlValue evaluate(const Table& table, Bytes record) const;
    // A condition of WHERE: true only when it evaluates to true (not false, not NULL).
    // Throws SqlError when the expression is no condition.
    bool holds(const Table& table, Bytes record) const;
    // Without columns the value is the same for every record.
    bool is_constant() const;

  private:
    enum class Kind { kConstant, kField, kNot, kNegate, kBinary, kIsNull, kLogical };

    SqlValue evaluate_binary(const Table& table, Bytes record) const;
    SqlValue evaluate_chain(const Table& table, Bytes record) const;
    SqlValue arithmetic(const SqlValue& a, const SqlValue& b) const;
    std::string context(const Table& table) const;

    Kind kind_ = Kind::kConstant;
    SqlValue constant_;
    std::size_t field_ = 0;
    BinaryOp op_ = BinaryOp::kEqual;
    bool negated_ = false;
    std::vector<BoundExpr> operands_;
    SourcePosition position_;
};

}  // namespace pdx::sql
