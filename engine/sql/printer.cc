#include "engine/sql/printer.h"

#include "engine/sql/parser.h"

namespace pdx::sql {

namespace {

std::string quoted(std::string_view text, char quote) {
    std::string result(1, quote);
    for (char c : text) {
        result += c;
        if (c == quote) result += quote;
    }
    result += quote;
    return result;
}

bool is_plain_name(std::string_view text) {
    if (text.empty() || is_reserved_word(text)) return false;
    const auto is_letter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
               static_cast<unsigned char>(c) >= 0x80;
    };
    if (!is_letter(text.front())) return false;
    for (char c : text) {
        if (!is_letter(c) && !(c >= '0' && c <= '9') && c != '$' && c != '#') return false;
    }
    return true;
}

std::string name(std::string_view text) {
    return is_plain_name(text) ? std::string(text) : quoted(text, '"');
}

std::string table(const TableRef& ref) {
    return quoted(ref.name, '"');
}

template <typename Item, typename Print>
std::string joined(const std::vector<Item>& items, Print print) {
    std::string result;
    for (const Item& item : items) {
        if (!result.empty()) result += ", ";
        result += print(item);
    }
    return result;
}

std::string names(const std::vector<Name>& list) {
    return joined(list, [](const Name& n) { return name(n.text); });
}

std::string_view binary_operator(BinaryOp op) {
    switch (op) {
        case BinaryOp::kEqual:
            return "=";
        case BinaryOp::kNotEqual:
            return "<>";
        case BinaryOp::kLess:
            return "<";
        case BinaryOp::kLessEqual:
            return "<=";
        case BinaryOp::kGreater:
            return ">";
        case BinaryOp::kGreaterEqual:
            return ">=";
        case BinaryOp::kAnd:
            return "AND";
        case BinaryOp::kOr:
            return "OR";
        case BinaryOp::kAdd:
            return "+";
        case BinaryOp::kSubtract:
            return "-";
        case BinaryOp::kMultiply:
            return "*";
        case BinaryOp::kDivide:
            return "/";
    }
    return "?";
}

std::string literal(const Literal& value) {
    switch (value.kind) {
        case LiteralKind::kNull:
            return "NULL";
        case LiteralKind::kBoolean:
            return value.boolean ? "TRUE" : "FALSE";
        case LiteralKind::kNumber:
            return value.text;
        case LiteralKind::kText:
            return quoted(value.text, '\'');
    }
    return "?";
}

std::string column_ref(const ColumnRef& ref) {
    return ref.table.empty() ? name(ref.column.text)
                             : name(ref.table) + "." + name(ref.column.text);
}

// An operand that is itself an operation goes in parentheses, so that the text reads back
// into the same tree whatever the precedence.
std::string operand(const Expr& expr) {
    const bool simple =
        std::holds_alternative<Literal>(expr.node) || std::holds_alternative<ColumnRef>(expr.node);
    return simple ? to_sql(expr) : "(" + to_sql(expr) + ")";
}

std::string column_def(const ColumnDef& column) {
    std::string result = name(column.name.text) + " " + to_sql(column.type, column.size);
    if (column.identity) {
        result += " IDENTITY(" + std::to_string(column.identity->seed) + ", " +
                  std::to_string(column.identity->increment) + ")";
    }
    if (column.constraint) result += " CONSTRAINT " + name(column.constraint->text);
    if (column.primary_key) result += " PRIMARY KEY";
    return result;
}

std::string select(const Select& s) {
    std::string result = "SELECT ";
    if (s.distinct) result += "DISTINCT ";
    if (s.all_columns) {
        result += "*";
    } else if (s.count_all) {
        result += "COUNT(*)";
        if (s.count_alias) result += " AS " + name(s.count_alias->text);
    } else {
        result += joined(s.items, [](const SelectItem& item) {
            return to_sql(item.expr) + (item.alias ? " AS " + name(item.alias->text) : "");
        });
    }
    result += " FROM " + table(s.table);
    if (s.table_alias) result += " AS " + name(s.table_alias->text);
    if (s.where) result += " WHERE " + to_sql(*s.where);
    if (!s.order_by.empty()) {
        result += " ORDER BY " + joined(s.order_by, [](const OrderItem& item) {
                      return column_ref(item.column) + (item.descending ? " DESC" : "");
                  });
    }
    return result;
}

struct StatementPrinter {
    std::string operator()(const CreateTable& s) const {
        std::string body = joined(s.columns, column_def);
        if (!s.primary_key.empty()) body += ", PRIMARY KEY (" + names(s.primary_key) + ")";
        return "CREATE TABLE " + table(s.table) + " (" + body + ")";
    }
    std::string operator()(const AlterTable& s) const {
        return "ALTER TABLE " + table(s.table) + " " + joined(s.actions, [](const AlterAction& a) {
                   if (const auto* add = std::get_if<AddColumn>(&a))
                       return "ADD " + column_def(add->column);
                   return "DROP " + name(std::get<DropColumn>(a).column.text);
               });
    }
    std::string operator()(const CreateIndex& s) const {
        return std::string("CREATE ") + (s.unique ? "UNIQUE " : "") +
               (s.descending ? "DESC " : "") + "INDEX " + name(s.name.text) + " ON " +
               table(s.table) + " (" + names(s.columns) + ")";
    }
    std::string operator()(const DropIndex& s) const {
        return "DROP INDEX " + table(s.table) + "." + name(s.name.text);
    }
    std::string operator()(const Insert& s) const {
        std::string result = "INSERT INTO " + table(s.table);
        if (!s.columns.empty()) result += " (" + names(s.columns) + ")";
        if (s.select) return result + " " + select(*s.select);
        return result + " VALUES " + joined(s.rows, [](const std::vector<Expr>& row) {
                   return "(" + joined(row, [](const Expr& e) { return to_sql(e); }) + ")";
               });
    }
    std::string operator()(const Delete& s) const {
        return "DELETE FROM " + table(s.table) + (s.where ? " WHERE " + to_sql(*s.where) : "");
    }
    std::string operator()(const Update& s) const {
        return "UPDATE " + table(s.table) + " SET " +
               joined(s.assignments,
                      [](const Assignment& a) {
                          return name(a.column.text) + " = " + to_sql(a.value);
                      }) +
               (s.where ? " WHERE " + to_sql(*s.where) : "");
    }
    std::string operator()(const Select& s) const { return select(s); }
    std::string operator()(const DropTable& s) const { return "DROP TABLE " + table(s.table); }
};

struct ExprPrinter {
    std::string operator()(const Literal& e) const { return literal(e); }
    std::string operator()(const ColumnRef& e) const { return column_ref(e); }
    // A NOT or a sign before another one is written without parentheses, so that the text
    // nests no deeper than the expression and reads back within the parser's depth limit.
    std::string operator()(const UnaryExpr& e) const {
        const auto* inner = std::get_if<UnaryExpr>(&e.operand->node);
        if (e.op == UnaryOp::kNot)
            return "NOT " +
                   (inner && inner->op == UnaryOp::kNot ? to_sql(*e.operand) : operand(*e.operand));
        // "- -x", never "--x", which starts a comment.
        if (inner && inner->op == UnaryOp::kNegate) return "- " + to_sql(*e.operand);
        // -(5) must not print as -5, which reads back as a negative constant.
        const bool constant = std::holds_alternative<Literal>(e.operand->node);
        return constant ? "-(" + to_sql(*e.operand) + ")" : "-" + operand(*e.operand);
    }
    std::string operator()(const BinaryExpr& e) const {
        return operand(*e.left) + " " + std::string(binary_operator(e.op)) + " " +
               operand(*e.right);
    }
    std::string operator()(const IsNullExpr& e) const {
        return operand(*e.operand) + (e.negated ? " IS NOT NULL" : " IS NULL");
    }
    std::string operator()(const LogicalExpr& e) const {
        const std::string glue = " " + std::string(binary_operator(e.op)) + " ";
        std::string text;
        for (const Expr& term : e.terms)
            text += (text.empty() ? "" : glue) + operand(term);
        return text;
    }
};

}  // namespace

std::string to_sql(const Statement& statement) {
    return std::visit(StatementPrinter{}, statement);
}

std::string to_sql(const Expr& expr) {
    return std::visit(ExprPrinter{}, expr.node);
}

std::string to_sql(ColumnType type, int size) {
    const auto sized = [size](std::string_view word) {
        return std::string(word) + "(" + std::to_string(size) + ")";
    };
    switch (type) {
        case ColumnType::kChar:
            return sized("CHAR");
        case ColumnType::kSmallInt:
            return "SMALLINT";
        case ColumnType::kInteger:
            return "INTEGER";
        case ColumnType::kAutoInc:
            return "AUTOINC";
        case ColumnType::kBoolean:
            return "BOOLEAN";
        case ColumnType::kDate:
            return "DATE";
        case ColumnType::kTime:
            return "TIME";
        case ColumnType::kTimestamp:
            return "DATETIME";
        case ColumnType::kFloat:
            return "FLOAT";
        case ColumnType::kMoney:
            return "MONEY";
        case ColumnType::kBcd:
            return sized("BCD");
        case ColumnType::kMemo:
            return sized("MEMO");
        case ColumnType::kBlob:
            return sized("BLOB");
        case ColumnType::kFmtMemo:
            return sized("FMTMEMO");
        case ColumnType::kOle:
            return sized("OLE");
        case ColumnType::kGraphic:
            return sized("GRAPHIC");
        case ColumnType::kBytes:
            return sized("BYTES");
    }
    return "?";
}

}  // namespace pdx::sql
