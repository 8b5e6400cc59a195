#include "engine/sql/expression.h"

#include <cmath>

#include "common/text.h"
#include "engine/sql/printer.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "engine/table/value.h"

namespace pdx::sql {

namespace {

std::string_view without_extension(std::string_view name) {
    if (name.size() > 3 && same_file_name(name.substr(name.size() - 3), ".db"))
        return name.substr(0, name.size() - 3);
    return name;
}

bool names_table(const Scope& scope, std::string_view qualifier) {
    if (scope.alias) return vaq::iequals(qualifier, *scope.alias);
    const std::string_view wanted = without_extension(qualifier);
    return vaq::iequals(wanted, without_extension(scope.written_name)) ||
           vaq::iequals(wanted, without_extension(scope.table->name()));
}

bool is_comparison(BinaryOp op) {
    switch (op) {
        case BinaryOp::kEqual:
        case BinaryOp::kNotEqual:
        case BinaryOp::kLess:
        case BinaryOp::kLessEqual:
        case BinaryOp::kGreater:
        case BinaryOp::kGreaterEqual:
            return true;
        default:
            return false;
    }
}

bool comparison_holds(BinaryOp op, int order) {
    switch (op) {
        case BinaryOp::kEqual:
            return order == 0;
        case BinaryOp::kNotEqual:
            return order != 0;
        case BinaryOp::kLess:
            return order < 0;
        case BinaryOp::kLessEqual:
            return order <= 0;
        case BinaryOp::kGreater:
            return order > 0;
        default:
            return order >= 0;
    }
}

// A condition's value: true, false or unknown (NULL).
std::optional<bool> truth(const SqlValue& value, SourcePosition position) {
    if (value.is_null()) return std::nullopt;
    if (value.kind != ValueKind::kBoolean)
        throw SqlError("Expected a condition at " + describe(position) + " but found the " +
                           std::string(kind_name(value.kind)) + " " + describe(value),
                       position);
    return value.integer != 0;
}

SqlValue of_truth(std::optional<bool> value) {
    return value ? SqlValue::of_boolean(*value) : SqlValue::null();
}

const char* operator_text(BinaryOp op) {
    switch (op) {
        case BinaryOp::kAdd:
            return "+";
        case BinaryOp::kSubtract:
            return "-";
        case BinaryOp::kMultiply:
            return "*";
        default:
            return "/";
    }
}

}  // namespace

std::size_t resolve_column(const Scope& scope, const ColumnRef& column) {
    if (!column.table.empty() && !names_table(scope, column.table)) {
        throw SqlError("Table " + column.table + " of column " + column.table + "." +
                           column.column.text + " is not the table of the statement, " +
                           scope.table->name() + " (" + describe(column.column.position) + ")",
                       column.column.position);
    }
    return resolve_column(scope, column.column);
}

std::size_t resolve_column(const Scope& scope, const Name& column) {
    if (auto index = scope.table->schema().find(column.text)) return *index;
    throw SqlError("Field not found: " + column.text + " in " + scope.table->name() + " (" +
                       describe(column.position) + ")",
                   column.position);
}

void rethrow_at(const SqlError& error, SourcePosition position) {
    if (error.position()) throw error;
    throw SqlError(std::string(error.what()) + " (" + describe(position) + ")", position);
}

BoundExpr BoundExpr::bind(const Expr& expr, const Scope& scope) {
    BoundExpr bound;
    bound.position_ = expr.position;
    if (const auto* literal = std::get_if<Literal>(&expr.node)) {
        bound.kind_ = Kind::kConstant;
        try {
            bound.constant_ = value_of(*literal);
        } catch (const SqlError& error) {
            rethrow_at(error, expr.position);
        }
    } else if (const auto* column = std::get_if<ColumnRef>(&expr.node)) {
        bound.kind_ = Kind::kField;
        bound.field_ = resolve_column(scope, *column);
    } else if (const auto* unary = std::get_if<UnaryExpr>(&expr.node)) {
        bound.kind_ = unary->op == UnaryOp::kNot ? Kind::kNot : Kind::kNegate;
        bound.operands_.push_back(bind(*unary->operand, scope));
    } else if (const auto* binary = std::get_if<BinaryExpr>(&expr.node)) {
        bound.kind_ = Kind::kBinary;
        bound.op_ = binary->op;
        bound.operands_.push_back(bind(*binary->left, scope));
        bound.operands_.push_back(bind(*binary->right, scope));
    } else if (const auto* is_null = std::get_if<IsNullExpr>(&expr.node)) {
        bound.kind_ = Kind::kIsNull;
        bound.negated_ = is_null->negated;
        bound.operands_.push_back(bind(*is_null->operand, scope));
    } else if (const auto* chain = std::get_if<LogicalExpr>(&expr.node)) {
        bound.kind_ = Kind::kLogical;
        bound.op_ = chain->op;
        bound.operands_.reserve(chain->terms.size());
        for (const Expr& term : chain->terms)
            bound.operands_.push_back(bind(term, scope));
    }
    return bound;
}

bool BoundExpr::is_constant() const {
    if (kind_ == Kind::kField) return false;
    for (const BoundExpr& operand : operands_)
        if (!operand.is_constant()) return false;
    return true;
}

SqlValue BoundExpr::evaluate(const Table& table, Bytes record) const {
    switch (kind_) {
        case Kind::kConstant:
            return constant_;
        case Kind::kField: {
            const Field& field = table.schema()[field_];
            return value_of(Value(table, field, record.subspan(field.offset, field.width())));
        }
        case Kind::kNot: {
            const auto value = truth(operands_[0].evaluate(table, record), position_);
            return of_truth(value ? std::optional<bool>(!*value) : std::nullopt);
        }
        case Kind::kNegate: {
            SqlValue value = operands_[0].evaluate(table, record);
            if (value.kind == ValueKind::kInteger && value.integer != INT64_MIN)
                return SqlValue::of_integer(-value.integer);
            if (value.is_number()) return SqlValue::of_float(-value.as_double());
            if (value.is_null()) return value;
            throw SqlError("Cannot negate the " + std::string(kind_name(value.kind)) + " " +
                               describe(value) + " (" + describe(position_) + ")",
                           position_);
        }
        case Kind::kIsNull:
            return SqlValue::of_boolean(operands_[0].evaluate(table, record).is_null() != negated_);
        case Kind::kBinary:
            return evaluate_binary(table, record);
        case Kind::kLogical:
            return evaluate_chain(table, record);
    }
    return SqlValue::null();
}

std::string BoundExpr::context(const Table& table) const {
    for (const BoundExpr& operand : operands_)
        if (operand.kind_ == Kind::kField) return table.schema()[operand.field_].name;
    return {};
}

SqlValue BoundExpr::evaluate_binary(const Table& table, Bytes record) const {
    if (op_ == BinaryOp::kAnd || op_ == BinaryOp::kOr) {
        const bool is_and = op_ == BinaryOp::kAnd;
        const auto left = truth(operands_[0].evaluate(table, record), operands_[0].position_);
        // false AND x is false, true OR x is true, whatever x is.
        if (left && *left != is_and) return SqlValue::of_boolean(*left);
        const auto right = truth(operands_[1].evaluate(table, record), operands_[1].position_);
        if (right && *right != is_and) return SqlValue::of_boolean(*right);
        if (left && right) return SqlValue::of_boolean(is_and);
        return SqlValue::null();
    }
    const SqlValue left = operands_[0].evaluate(table, record);
    const SqlValue right = operands_[1].evaluate(table, record);
    try {
        if (is_comparison(op_)) {
            const auto order = compare(left, right, context(table));
            return of_truth(order ? std::optional<bool>(comparison_holds(op_, *order))
                                  : std::nullopt);
        }
        return arithmetic(left, right);
    } catch (const SqlError& error) {
        rethrow_at(error, position_);
    }
}

// Term by term from the left: the first false of an AND chain (true of an OR chain) decides
// and the terms after it are not evaluated; otherwise an unknown term makes the chain unknown.
SqlValue BoundExpr::evaluate_chain(const Table& table, Bytes record) const {
    const bool is_and = op_ == BinaryOp::kAnd;
    bool unknown = false;
    for (const BoundExpr& term : operands_) {
        const auto value = truth(term.evaluate(table, record), term.position_);
        if (!value)
            unknown = true;
        else if (*value != is_and)
            return SqlValue::of_boolean(*value);
    }
    return unknown ? SqlValue::null() : SqlValue::of_boolean(is_and);
}

SqlValue BoundExpr::arithmetic(const SqlValue& a, const SqlValue& b) const {
    if (a.is_null() || b.is_null()) return SqlValue::null();
    // A date moves by whole days.
    if (a.kind == ValueKind::kDate && b.kind == ValueKind::kInteger &&
        (op_ == BinaryOp::kAdd || op_ == BinaryOp::kSubtract))
        return SqlValue::of_date(op_ == BinaryOp::kAdd ? a.integer + b.integer
                                                       : a.integer - b.integer);
    if (!a.is_number() || !b.is_number())
        throw SqlError("Cannot compute " + describe(a) + " " + operator_text(op_) + " " +
                       describe(b) + ": both must be numbers");
    if (op_ == BinaryOp::kDivide) {
        if (b.as_double() == 0) throw SqlError("Division by zero");
        return SqlValue::of_float(a.as_double() / b.as_double());
    }
    if (a.kind == ValueKind::kInteger && b.kind == ValueKind::kInteger) {
        std::int64_t result = 0;
        bool overflow = false;
        if (op_ == BinaryOp::kAdd)
            overflow = __builtin_add_overflow(a.integer, b.integer, &result);
        else if (op_ == BinaryOp::kSubtract)
            overflow = __builtin_sub_overflow(a.integer, b.integer, &result);
        else
            overflow = __builtin_mul_overflow(a.integer, b.integer, &result);
        if (!overflow) return SqlValue::of_integer(result);
    }
    const double x = a.as_double();
    const double y = b.as_double();
    if (op_ == BinaryOp::kAdd) return SqlValue::of_float(x + y);
    if (op_ == BinaryOp::kSubtract) return SqlValue::of_float(x - y);
    return SqlValue::of_float(x * y);
}

bool BoundExpr::holds(const Table& table, Bytes record) const {
    const auto value = truth(evaluate(table, record), position_);
    return value.value_or(false);
}

}  // namespace pdx::sql
