#include "engine/sql/lexer.h"

#include <array>

#include "common/text.h"

namespace pdx::sql {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_word_start(char c) {
    // Bytes from 0x80 are parts of UTF-8 letters: names may hold them.
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool is_word_part(char c) {
    return is_word_start(c) || is_digit(c) || c == '$' || c == '#';
}

bool is_utf8_continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

constexpr std::array<std::string_view, 4> kTwoCharSymbols = {"<>", "<=", ">=", "!="};
constexpr std::string_view kOneCharSymbols = "(),.;*=<>+-/";

class Lexer {
  public:
    explicit Lexer(std::string_view sql) : sql_(sql) {}

    std::vector<Token> run() {
        std::vector<Token> tokens;
        for (;;) {
            skip_blanks();
            if (at_end()) break;
            tokens.push_back(next_token());
        }
        Token end;
        end.position = here_;
        tokens.push_back(end);
        return tokens;
    }

  private:
    bool at_end() const { return here_.offset >= sql_.size(); }
    char peek(std::size_t ahead = 0) const {
        const std::size_t at = here_.offset + ahead;
        return at < sql_.size() ? sql_[at] : '\0';
    }

    void advance() {
        const char c = sql_[here_.offset++];
        if (c == '\n') {
            ++here_.line;
            here_.column = 1;
        } else if (!is_utf8_continuation(c)) {
            ++here_.column;
        }
    }

    void skip_blanks() {
        while (!at_end() && is_blank(peek()))
            advance();
    }

    Token next_token() {
        const char c = peek();
        if (is_word_start(c)) return word();
        if (is_digit(c) || (c == '.' && is_digit(peek(1)))) return number();
        if (c == '"') return quoted(TokenKind::kDoubleQuoted);
        if (c == '\'') return quoted(TokenKind::kSingleQuoted);
        return symbol();
    }

    Token start(TokenKind kind) const {
        Token token;
        token.kind = kind;
        token.position = here_;
        return token;
    }

    void finish(Token& token) const {
        token.spelling.assign(
            sql_.substr(token.position.offset, here_.offset - token.position.offset));
    }

    Token word() {
        Token token = start(TokenKind::kWord);
        while (!at_end() && is_word_part(peek()))
            advance();
        finish(token);
        token.text = token.spelling;
        return token;
    }

    void digits() {
        while (is_digit(peek()))
            advance();
    }

    Token number() {
        Token token = start(TokenKind::kNumber);
        digits();
        if (peek() == '.' && is_digit(peek(1))) {
            advance();
            digits();
        } else if (peek() == '.' && !is_word_start(peek(1))) {
            advance();  // "5." is five
        }
        const bool signed_exponent = (peek(1) == '+' || peek(1) == '-') && is_digit(peek(2));
        if ((peek() == 'e' || peek() == 'E') && (is_digit(peek(1)) || signed_exponent)) {
            advance();
            if (signed_exponent) advance();
            digits();
        }
        finish(token);
        token.text = token.spelling;
        return token;
    }

    Token quoted(TokenKind kind) {
        Token token = start(kind);
        const char quote = peek();
        advance();
        for (;;) {
            if (at_end()) {
                finish(token);
                throw_syntax_error(token.spelling, token.position,
                                   std::string("the closing ") + quote + " is missing");
            }
            const char c = peek();
            advance();
            if (c != quote) {
                token.text += c;
            } else if (peek() == quote) {
                token.text += quote;  // a doubled quote stands for one
                advance();
            } else {
                break;
            }
        }
        finish(token);
        return token;
    }

    Token symbol() {
        Token token = start(TokenKind::kSymbol);
        for (std::string_view two : kTwoCharSymbols) {
            if (sql_.substr(here_.offset, 2) == two) {
                advance();
                advance();
                finish(token);
                token.text = token.spelling;
                return token;
            }
        }
        if (kOneCharSymbols.find(peek()) == std::string_view::npos) {
            std::size_t length = 1;
            while (here_.offset + length < sql_.size() &&
                   is_utf8_continuation(sql_[here_.offset + length]))
                ++length;
            throw_syntax_error(sql_.substr(here_.offset, length), here_,
                               "this character has no meaning in a statement");
        }
        advance();
        finish(token);
        token.text = token.spelling;
        return token;
    }

    std::string_view sql_;
    SourcePosition here_;
};

}  // namespace

bool Token::is_keyword(std::string_view keyword) const {
    if (kind != TokenKind::kWord || text.size() != keyword.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (vaq::ascii_upper(text[i]) != keyword[i]) return false;
    }
    return true;
}

std::vector<Token> tokenize(std::string_view sql) {
    return Lexer(sql).run();
}

}  // namespace pdx::sql
