#include "engine/sql/parser.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/sql/lexer.h"

namespace pdx::sql {

namespace {

constexpr std::array<std::string_view, 33> kReservedWords = {
    "ADD",    "ALTER", "AND",      "AS",     "ASC",    "BY",    "COLUMN",  "CONSTRAINT", "CREATE",
    "DELETE", "DESC",  "DISTINCT", "DROP",   "FALSE",  "FROM",  "INDEX",   "INSERT",     "INTO",
    "IS",     "NOT",   "NULL",     "ON",     "OR",     "ORDER", "PRIMARY", "SELECT",     "SET",
    "TABLE",  "TRUE",  "UNIQUE",   "UPDATE", "VALUES", "WHERE",
};

struct TypeName {
    std::string_view word;
    ColumnType type;
    bool sized;
    int min_size;
    int max_size;
};

// Sizes as the format's size byte allows them: alpha and bytes fields 1-255 bytes, BCD 0-32
// decimals, blob fields the width in the record (the part of the value kept there plus the
// 10-byte pointer; a memo keeps at least one byte).
constexpr std::array<TypeName, 19> kTypeNames = {{
    {"CHAR", ColumnType::kChar, true, 1, 255},
    {"SMALLINT", ColumnType::kSmallInt, false, 0, 0},
    {"INTEGER", ColumnType::kInteger, false, 0, 0},
    {"INT", ColumnType::kInteger, false, 0, 0},
    {"AUTOINC", ColumnType::kAutoInc, false, 0, 0},
    {"BOOLEAN", ColumnType::kBoolean, false, 0, 0},
    {"DATE", ColumnType::kDate, false, 0, 0},
    {"TIME", ColumnType::kTime, false, 0, 0},
    {"DATETIME", ColumnType::kTimestamp, false, 0, 0},
    {"TIMESTAMP", ColumnType::kTimestamp, false, 0, 0},
    {"FLOAT", ColumnType::kFloat, false, 0, 0},
    {"MONEY", ColumnType::kMoney, false, 0, 0},
    {"BCD", ColumnType::kBcd, true, 0, 32},
    {"MEMO", ColumnType::kMemo, true, 11, 250},
    {"BLOB", ColumnType::kBlob, true, 10, 250},
    {"FMTMEMO", ColumnType::kFmtMemo, true, 10, 250},
    {"OLE", ColumnType::kOle, true, 10, 250},
    {"GRAPHIC", ColumnType::kGraphic, true, 10, 250},
    {"BYTES", ColumnType::kBytes, true, 1, 255},
}};

const TypeName* find_type(const Token& token) {
    if (token.kind != TokenKind::kWord) return nullptr;
    for (const TypeName& type : kTypeNames) {
        if (token.is_keyword(type.word)) return &type;
    }
    return nullptr;
}

constexpr std::string_view kTypeList =
    "char(n), smallint, integer, autoinc, boolean, date, time, datetime, float, money, bcd(n), "
    "memo(n), blob(n), fmtmemo(n), ole(n), graphic(n) or bytes(n)";

class Parser {
  public:
    explicit Parser(std::string_view sql) : tokens_(tokenize(sql)) {}

    Statement statement() {
        const Token& first = peek();
        if (first.is_keyword("CREATE")) return create();
        if (first.is_keyword("ALTER")) return alter_table();
        if (first.is_keyword("DROP")) return drop();
        if (first.is_keyword("INSERT")) return insert();
        if (first.is_keyword("DELETE")) return delete_from();
        if (first.is_keyword("UPDATE")) return update();
        if (first.is_keyword("SELECT")) {
            Select select = select_statement();
            finish("WHERE, ORDER BY or the end of the statement");
            return select;
        }
        fail("a statement: CREATE, ALTER, DROP, INSERT, DELETE, UPDATE or SELECT");
    }

  private:
    // ---- tokens ----

    const Token& peek(std::size_t ahead = 0) const {
        return tokens_[std::min(next_ + ahead, tokens_.size() - 1)];
    }
    const Token& take() {
        const Token& token = peek();
        if (next_ < tokens_.size() - 1) ++next_;
        return token;
    }

    [[noreturn]] void fail(std::string_view expected) const {
        fail_at(peek(), "expected " + std::string(expected));
    }

    [[noreturn]] static void fail_at(const Token& token, const std::string& problem) {
        throw_syntax_error(token.spelling, token.position, problem);
    }

    bool accept_keyword(std::string_view keyword) {
        if (!peek().is_keyword(keyword)) return false;
        take();
        return true;
    }
    void expect_keyword(std::string_view keyword) {
        if (!accept_keyword(keyword)) fail(keyword);
    }
    bool accept_symbol(std::string_view symbol) {
        if (!peek().is_symbol(symbol)) return false;
        take();
        return true;
    }
    void expect_symbol(std::string_view symbol) {
        if (!accept_symbol(symbol)) fail("'" + std::string(symbol) + "'");
    }

    // The statement must end here; `expected` lists what could still have come.
    void finish(std::string_view expected) {
        if (accept_symbol(";")) expected = "the end of the statement";
        if (peek().kind != TokenKind::kEnd) fail(expected);
    }

    // ---- names ----

    bool is_bare_name(const Token& token) const {
        return token.kind == TokenKind::kWord && !is_reserved_word(token.text);
    }

    [[noreturn]] void fail_name(std::string_view what) const {
        const Token& token = peek();
        if (token.kind == TokenKind::kWord) {
            fail_at(token, "expected " + std::string(what) + "; " + vaq::ascii_upper(token.text) +
                               " is a keyword, write it in double quotes to use it as a name");
        }
        fail(what);
    }

    // A column, index or constraint name: a word or a name in double quotes.
    Name name(std::string_view what) {
        const Token& token = peek();
        if (!is_bare_name(token) && token.kind != TokenKind::kDoubleQuoted) fail_name(what);
        take();
        if (token.text.empty()) fail_at(token, std::string(what) + " cannot be empty");
        return Name{token.text, token.position};
    }

    std::vector<Name> name_list(std::string_view what) {
        expect_symbol("(");
        std::vector<Name> names;
        do {
            names.push_back(name(what));
        } while (accept_symbol(","));
        expect_symbol(")");
        return names;
    }

    // Bare (Leave, Ctrller.db), in double quotes ("WorkON.DB") or in single quotes ('Door').
    TableRef table_name() {
        const Token& token = peek();
        TableRef table{token.text, token.position};
        if (token.kind == TokenKind::kDoubleQuoted || token.kind == TokenKind::kSingleQuoted) {
            take();
        } else if (is_bare_name(token)) {
            take();
            if (peek().is_symbol(".") && peek(1).kind == TokenKind::kWord) {
                take();
                table.name += "." + take().text;
            }
        } else {
            fail_name("a table name");
        }
        check_table_name(table.name, table.position);
        return table;
    }

    // ---- column definitions ----

    int size_of(const TypeName& type, const Name& column) {
        if (!peek().is_symbol("("))
            fail("'(' and the size of the " + vaq::ascii_lower(type.word) + " column");
        take();
        const Token& number = peek();
        if (number.kind != TokenKind::kNumber)
            fail("the size of the " + vaq::ascii_lower(type.word) + " column");
        int size = -1;
        const auto [end, error] =
            std::from_chars(number.text.data(), number.text.data() + number.text.size(), size);
        if (error != std::errc() || end != number.text.data() + number.text.size() ||
            size < type.min_size || size > type.max_size) {
            throw SqlError(
                "Invalid size " + number.text + " for the " + vaq::ascii_lower(type.word) +
                    " column " + column.text + " (" + describe(number.position) +
                    "): the size must be a whole number from " + std::to_string(type.min_size) +
                    " to " + std::to_string(type.max_size),
                number.position);
        }
        take();
        expect_symbol(")");
        return size;
    }

    std::int64_t identity_number() {
        bool negative = accept_symbol("-");
        const Token& number = peek();
        std::int64_t value = 0;
        const auto [end, error] =
            std::from_chars(number.text.data(), number.text.data() + number.text.size(), value);
        if (number.kind != TokenKind::kNumber || error != std::errc() ||
            end != number.text.data() + number.text.size())
            fail("a whole number");
        take();
        return negative ? -value : value;
    }

    ColumnDef column_def() {
        ColumnDef column;
        column.name = name("a column name");
        const TypeName* type = find_type(peek());
        if (type == nullptr)
            fail("the type of column " + column.name.text + ": " + std::string(kTypeList));
        const Token& type_token = take();
        column.type = type->type;
        if (type->sized) {
            column.size = size_of(*type, column.name);
        } else if (peek().is_symbol("(")) {
            fail_at(peek(), "a " + vaq::ascii_lower(type_token.text) + " column takes no size");
        }
        if (accept_keyword("IDENTITY")) {
            expect_symbol("(");
            Identity identity;
            identity.seed = identity_number();
            expect_symbol(",");
            identity.increment = identity_number();
            expect_symbol(")");
            column.identity = identity;
        }
        if (accept_keyword("CONSTRAINT")) {
            column.constraint = name("a constraint name");
            expect_primary_key();
            column.primary_key = true;
        } else if (peek().is_keyword("PRIMARY")) {
            expect_primary_key();
            column.primary_key = true;
        }
        return column;
    }

    void expect_primary_key() {
        expect_keyword("PRIMARY");
        expect_keyword("KEY");
    }

    // ---- statements ----

    Statement create() {
        expect_keyword("CREATE");
        if (accept_keyword("TABLE")) return create_table();
        CreateIndex index;
        index.unique = accept_keyword("UNIQUE");
        index.descending = accept_keyword("DESC");
        const bool ascending = !index.descending && accept_keyword("ASC");
        const bool index_only = index.unique || index.descending || ascending;
        if (!peek().is_keyword("INDEX")) fail(index_only ? "INDEX" : "TABLE or INDEX");
        take();
        index.name = name("an index name");
        expect_keyword("ON");
        index.table = table_name();
        index.columns = name_list("a column name");
        finish("the end of the statement");
        return index;
    }

    CreateTable create_table() {
        CreateTable create;
        create.table = table_name();
        expect_symbol("(");
        std::optional<SourcePosition> key_seen;
        do {
            if (peek().is_keyword("PRIMARY")) {
                const SourcePosition at = peek().position;
                if (key_seen) refuse_second_key(at);
                key_seen = at;
                expect_primary_key();
                create.primary_key = name_list("a column name");
                continue;
            }
            const SourcePosition at = peek().position;
            ColumnDef column = column_def();
            if (column.primary_key) {
                if (key_seen) refuse_second_key(at);
                key_seen = at;
            }
            create.columns.push_back(std::move(column));
        } while (accept_symbol(","));
        if (!peek().is_symbol(")")) fail("',' or ')'");
        take();
        finish("the end of the statement");
        return create;
    }

    [[noreturn]] static void refuse_second_key(SourcePosition at) {
        throw SqlError("A table has one primary key, but this statement gives a second one (" +
                           describe(at) + "): list all its columns in one PRIMARY KEY (...)",
                       at);
    }

    AlterTable alter_table() {
        expect_keyword("ALTER");
        expect_keyword("TABLE");
        AlterTable alter;
        alter.table = table_name();
        bool adding = true;
        bool first = true;
        do {
            if (accept_keyword("ADD")) {
                adding = true;
            } else if (accept_keyword("DROP")) {
                adding = false;
            } else if (first) {
                fail("ADD or DROP");
            }
            // After a comma, an item without ADD or DROP continues the one before it.
            first = false;
            accept_keyword("COLUMN");
            if (adding) {
                alter.actions.emplace_back(AddColumn{column_def()});
            } else {
                alter.actions.emplace_back(DropColumn{name("a column name")});
            }
        } while (accept_symbol(","));
        finish("',' or the end of the statement");
        return alter;
    }

    Statement drop() {
        expect_keyword("DROP");
        if (accept_keyword("TABLE")) {
            DropTable drop_table{table_name()};
            finish("the end of the statement");
            return drop_table;
        }
        if (!accept_keyword("INDEX")) fail("TABLE or INDEX");
        DropIndex drop_index = drop_index_target();
        finish("the end of the statement");
        return drop_index;
    }

    // table.index, "table.db".index, or index ON table.
    DropIndex drop_index_target() {
        DropIndex drop;
        const Token& first = peek();
        if (first.kind == TokenKind::kDoubleQuoted || first.kind == TokenKind::kSingleQuoted) {
            drop.table = table_name();
            expect_symbol(".");
            drop.name = index_name_after_dot();
            return drop;
        }
        if (!is_bare_name(first))
            fail_name("a table name and an index name, as in Leave.idx_StaffID");
        std::vector<Name> parts{name("an index name")};
        while (accept_symbol("."))
            parts.push_back(index_name_after_dot());
        if (parts.size() == 1) {
            if (!peek().is_keyword("ON")) fail("'.' and the index name, or ON and the table name");
            take();
            drop.name = parts.front();
            drop.table = table_name();
            return drop;
        }
        drop.name = parts.back();
        drop.table.position = parts.front().position;
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            drop.table.name += (i == 0 ? "" : ".") + parts[i].text;
        }
        check_table_name(drop.table.name, drop.table.position);
        return drop;
    }

    // The primary index is named PRIMARY, a reserved word, after the dot.
    Name index_name_after_dot() {
        if (peek().is_keyword("PRIMARY")) {
            const Token& token = take();
            return Name{token.text, token.position};
        }
        return name("an index name");
    }

    Insert insert() {
        expect_keyword("INSERT");
        expect_keyword("INTO");
        Insert insert;
        insert.table = table_name();
        if (peek().is_symbol("(")) insert.columns = name_list("a column name");
        if (peek().is_keyword("SELECT")) {
            insert.select = select_statement();
            finish("WHERE, ORDER BY or the end of the statement");
            return insert;
        }
        if (!accept_keyword("VALUES"))
            fail(insert.columns.empty() ? "'(', VALUES or SELECT" : "VALUES or SELECT");
        do {
            expect_symbol("(");
            std::vector<Expr> row;
            do {
                row.push_back(expression());
            } while (accept_symbol(","));
            if (!accept_symbol(")")) fail("',' or ')'");
            insert.rows.push_back(std::move(row));
        } while (accept_symbol(","));
        finish("',' or the end of the statement");
        return insert;
    }

    Delete delete_from() {
        expect_keyword("DELETE");
        expect_keyword("FROM");
        Delete del;
        del.table = table_name();
        if (accept_keyword("WHERE")) del.where = expression();
        finish(del.where ? "the end of the statement" : "WHERE or the end of the statement");
        return del;
    }

    Update update() {
        expect_keyword("UPDATE");
        Update update;
        update.table = table_name();
        expect_keyword("SET");
        do {
            Name column = name("a column name");
            expect_symbol("=");
            update.assignments.push_back(Assignment{std::move(column), expression()});
        } while (accept_symbol(","));
        if (accept_keyword("WHERE")) update.where = expression();
        finish(update.where ? "the end of the statement"
                            : "',', WHERE or the end of the statement");
        return update;
    }

    Select select_statement() {
        expect_keyword("SELECT");
        Select select;
        select.distinct = accept_keyword("DISTINCT");
        if (accept_symbol("*")) {
            select.all_columns = true;
        } else if (peek().is_keyword("COUNT") && peek(1).is_symbol("(") && peek(2).is_symbol("*") &&
                   peek(3).is_symbol(")")) {
            for (int i = 0; i < 4; ++i)
                take();
            select.count_all = true;
            if (accept_keyword("AS")) select.count_alias = name("a column alias");
        } else {
            do {
                quoted_names_ = true;
                SelectItem item{expression(), std::nullopt};
                quoted_names_ = false;
                if (accept_keyword("AS")) item.alias = name("a column alias");
                select.items.push_back(std::move(item));
            } while (accept_symbol(","));
        }
        if (!peek().is_keyword("FROM"))
            fail(select.all_columns || select.count_all ? "FROM" : "',' or FROM");
        take();
        select.table = table_name();
        if (accept_keyword("AS")) select.table_alias = name("a table alias");
        if (accept_keyword("WHERE")) select.where = expression();
        if (accept_keyword("ORDER")) {
            expect_keyword("BY");
            do {
                OrderItem item{column_ref(), false};
                if (accept_keyword("DESC")) {
                    item.descending = true;
                } else {
                    accept_keyword("ASC");
                }
                select.order_by.push_back(std::move(item));
            } while (accept_symbol(","));
        }
        return select;
    }

    // ---- expressions, loosest binding first ----

    static Expr make_binary(BinaryOp op, Expr left, Expr right) {
        const SourcePosition at = left.position;
        return Expr{BinaryExpr{op, std::make_unique<Expr>(std::move(left)),
                               std::make_unique<Expr>(std::move(right))},
                    at};
    }

    // Counts how deeply the expression being read nests: each parenthesis, NOT and sign,
    // and each further operator of a + - * / chain (which builds one level per operator).
    // Binding, evaluating and printing recurse as deep, so the depth is bounded.
    class Nesting {
      public:
        Nesting(Parser& parser, const Token& at) : parser_(parser) {
            if (++parser_.depth_ > kMaxExpressionDepth)
                fail_at(at, "the expression nests more than " +
                                std::to_string(kMaxExpressionDepth) + " levels deep");
        }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;
        ~Nesting() { --parser_.depth_; }

      private:
        Parser& parser_;
    };

    // A chain of one operator: the terms stand side by side in one node.
    Expr logical_chain(BinaryOp op, std::string_view keyword, Expr (Parser::*term)()) {
        Expr first = (this->*term)();
        if (!peek().is_keyword(keyword)) return first;
        const SourcePosition at = first.position;
        LogicalExpr chain{op, {}};
        chain.terms.push_back(std::move(first));
        while (accept_keyword(keyword))
            chain.terms.push_back((this->*term)());
        return Expr{std::move(chain), at};
    }

    Expr expression() {
        const Nesting level(*this, peek());
        return logical_chain(BinaryOp::kOr, "OR", &Parser::and_expression);
    }

    Expr and_expression() { return logical_chain(BinaryOp::kAnd, "AND", &Parser::not_expression); }

    Expr not_expression() {
        if (peek().is_keyword("NOT")) {
            const Nesting level(*this, peek());
            const SourcePosition at = take().position;
            return Expr{UnaryExpr{UnaryOp::kNot, std::make_unique<Expr>(not_expression())}, at};
        }
        return comparison();
    }

    std::optional<BinaryOp> comparison_operator() const {
        const Token& token = peek();
        if (token.is_symbol("=")) return BinaryOp::kEqual;
        if (token.is_symbol("<>") || token.is_symbol("!=")) return BinaryOp::kNotEqual;
        if (token.is_symbol("<")) return BinaryOp::kLess;
        if (token.is_symbol("<=")) return BinaryOp::kLessEqual;
        if (token.is_symbol(">")) return BinaryOp::kGreater;
        if (token.is_symbol(">=")) return BinaryOp::kGreaterEqual;
        return std::nullopt;
    }

    Expr comparison() {
        Expr left = additive();
        if (const auto op = comparison_operator()) {
            take();
            return make_binary(*op, std::move(left), additive());
        }
        if (accept_keyword("IS")) {
            const bool negated = accept_keyword("NOT");
            expect_keyword("NULL");
            const SourcePosition at = left.position;
            return Expr{IsNullExpr{std::make_unique<Expr>(std::move(left)), negated}, at};
        }
        return left;
    }

    Expr additive() {
        Expr left = multiplicative();
        std::vector<std::unique_ptr<Nesting>> levels;
        for (;;) {
            if (peek().is_symbol("+") || peek().is_symbol("-"))
                levels.push_back(std::make_unique<Nesting>(*this, peek()));
            if (accept_symbol("+")) {
                left = make_binary(BinaryOp::kAdd, std::move(left), multiplicative());
            } else if (accept_symbol("-")) {
                left = make_binary(BinaryOp::kSubtract, std::move(left), multiplicative());
            } else {
                return left;
            }
        }
    }

    Expr multiplicative() {
        Expr left = unary();
        std::vector<std::unique_ptr<Nesting>> levels;
        for (;;) {
            if (peek().is_symbol("*") || peek().is_symbol("/"))
                levels.push_back(std::make_unique<Nesting>(*this, peek()));
            if (accept_symbol("*")) {
                left = make_binary(BinaryOp::kMultiply, std::move(left), unary());
            } else if (accept_symbol("/")) {
                left = make_binary(BinaryOp::kDivide, std::move(left), unary());
            } else {
                return left;
            }
        }
    }

    Expr unary() {
        const Token& sign = peek();
        if (!sign.is_symbol("+") && !sign.is_symbol("-")) return primary();
        const Nesting level(*this, sign);
        if (peek().is_symbol("+")) {
            take();
            return unary();
        }
        if (peek().is_symbol("-")) {
            const SourcePosition at = take().position;
            // A negative number stays a constant, written as the field will read it.
            if (peek().kind == TokenKind::kNumber) {
                return Expr{Literal{LiteralKind::kNumber, "-" + take().text, false}, at};
            }
            return Expr{UnaryExpr{UnaryOp::kNegate, std::make_unique<Expr>(unary())}, at};
        }
        return primary();
    }

    Expr primary() {
        const Token& token = peek();
        const SourcePosition at = token.position;
        switch (token.kind) {
            case TokenKind::kNumber:
                return Expr{Literal{LiteralKind::kNumber, take().text, false}, at};
            case TokenKind::kSingleQuoted:
                return Expr{Literal{LiteralKind::kText, take().text, false}, at};
            case TokenKind::kDoubleQuoted:
                // In a select list and before a dot ("Door.db".DoorID) it names a column.
                // Elsewhere a value is expected, and a text in double quotes is a text
                // constant: Values (1, "Annual Leave").
                if (peek(1).is_symbol(".") || quoted_names_) return Expr{column_ref(), at};
                return Expr{Literal{LiteralKind::kText, take().text, false}, at};
            case TokenKind::kWord:
                if (accept_keyword("TRUE"))
                    return Expr{Literal{LiteralKind::kBoolean, "", true}, at};
                if (accept_keyword("FALSE"))
                    return Expr{Literal{LiteralKind::kBoolean, "", false}, at};
                if (accept_keyword("NULL")) return Expr{Literal{LiteralKind::kNull, "", false}, at};
                if (is_bare_name(token)) return Expr{column_ref(), at};
                break;
            case TokenKind::kSymbol:
                if (token.is_symbol("(")) {
                    take();
                    Expr inner = expression();
                    expect_symbol(")");
                    return inner;
                }
                break;
            case TokenKind::kEnd:
                break;
        }
        fail("a value or a column name");
    }

    // column, table.column, table.db.column, "table.db".column
    ColumnRef column_ref() {
        std::vector<Name> parts{name("a column name")};
        while (accept_symbol("."))
            parts.push_back(name("a column name"));
        ColumnRef ref;
        ref.column = parts.back();
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            ref.table += (i == 0 ? "" : ".") + parts[i].text;
        }
        return ref;
    }

    std::vector<Token> tokens_;
    std::size_t next_ = 0;
    std::size_t depth_ = 0;  // see Nesting
    // True while reading a select list, where "Door ID" is a column and not a text.
    bool quoted_names_ = false;
};

}  // namespace

bool is_reserved_word(std::string_view word) {
    const std::string upper_word = vaq::ascii_upper(word);
    return std::find(kReservedWords.begin(), kReservedWords.end(), upper_word) !=
           kReservedWords.end();
}

void check_table_name(std::string_view name, SourcePosition position) {
    if (name.empty()) {
        throw SqlError("A table name cannot be empty (" + describe(position) + ")", position);
    }
    const bool has_control = std::any_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos ||
        name.find("..") != std::string_view::npos || has_control) {
        throw SqlError("Invalid table name \"" + std::string(name) + "\" (" + describe(position) +
                           "): a table name may not hold a path separator, '..' or a "
                           "control character",
                       position);
    }
}

Statement parse(std::string_view sql) {
    return Parser(sql).statement();
}

std::string_view statement_name(const Statement& statement) {
    struct Namer {
        std::string_view operator()(const CreateTable&) const { return "CREATE TABLE"; }
        std::string_view operator()(const AlterTable&) const { return "ALTER TABLE"; }
        std::string_view operator()(const CreateIndex&) const { return "CREATE INDEX"; }
        std::string_view operator()(const DropIndex&) const { return "DROP INDEX"; }
        std::string_view operator()(const Insert&) const { return "INSERT"; }
        std::string_view operator()(const Delete&) const { return "DELETE"; }
        std::string_view operator()(const Update&) const { return "UPDATE"; }
        std::string_view operator()(const Select&) const { return "SELECT"; }
        std::string_view operator()(const DropTable&) const { return "DROP TABLE"; }
    };
    return std::visit(Namer{}, statement);
}

}  // namespace pdx::sql
