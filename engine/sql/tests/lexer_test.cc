#include "engine/sql/lexer.h"

#include <gtest/gtest.h>

namespace pdx::sql {
namespace {

std::string kinds(const std::vector<Token>& tokens) {
    std::string result;
    for (const Token& token : tokens) {
        switch (token.kind) {
            case TokenKind::kWord:
                result += 'w';
                break;
            case TokenKind::kDoubleQuoted:
                result += 'd';
                break;
            case TokenKind::kSingleQuoted:
                result += 's';
                break;
            case TokenKind::kNumber:
                result += 'n';
                break;
            case TokenKind::kSymbol:
                result += token.text;
                break;
            case TokenKind::kEnd:
                result += '$';
                break;
        }
    }
    return result;
}

std::string error_of(std::string_view sql) {
    try {
        tokenize(sql);
    } catch (const SqlError& error) {
        return error.what();
    }
    return "no error";
}

TEST(Lexer, BlanksTabsAndLineBreaksSeparateAlike) {
    EXPECT_EQ(kinds(tokenize("a b\tc\nd\r\ne \t\r\n f")), "wwwwww$");
    EXPECT_EQ(kinds(tokenize(" \t\r\n")), "$");
}

TEST(Lexer, QuotedTokensLoseTheirQuotesAndReadDoubledQuotesAsOne) {
    const auto tokens = tokenize(R"("WorkON.DB" 'Leave' 'it''s' "a""b" '')");
    EXPECT_EQ(kinds(tokens), "dssds$");
    EXPECT_EQ(tokens[0].text, "WorkON.DB");
    EXPECT_EQ(tokens[0].spelling, "\"WorkON.DB\"");
    EXPECT_EQ(tokens[1].text, "Leave");
    EXPECT_EQ(tokens[2].text, "it's");
    EXPECT_EQ(tokens[3].text, "a\"b");
    EXPECT_EQ(tokens[4].text, "");
}

TEST(Lexer, NumbersSymbolsAndWords) {
    const auto tokens = tokenize("Values(7,128) x<>1 y<=-2.5 .5 1e3 2E-2 UDP_PORT=1001 Emp#");
    EXPECT_EQ(kinds(tokens), "w(n,n)w<>nw<=-nnnnw=nw$");
    EXPECT_EQ(tokens[12].text, "2.5");
    EXPECT_EQ(tokens[13].text, ".5");
    EXPECT_EQ(tokens[14].text, "1e3");
    EXPECT_EQ(tokens[15].text, "2E-2");
    EXPECT_EQ(tokens[16].text, "UDP_PORT");
    EXPECT_EQ(tokens.back().kind, TokenKind::kEnd);
    // A bare table name with its extension is three tokens; the parser joins them.
    EXPECT_EQ(kinds(tokenize("Tmpdb.DB")), "w.w$");
    EXPECT_EQ(kinds(tokenize("a!=b a>=b")), "w!=ww>=w$");
}

TEST(Lexer, KeywordsMatchIgnoringCase) {
    const auto tokens = tokenize("sElEcT \"select\" selects");
    EXPECT_TRUE(tokens[0].is_keyword("SELECT"));
    EXPECT_FALSE(tokens[1].is_keyword("SELECT"));  // a quoted name is never a keyword
    EXPECT_FALSE(tokens[2].is_keyword("SELECT"));
}

TEST(Lexer, PositionsCountLinesAndCharacters) {
    // Tabs count as one column, CR LF ends a line, a UTF-8 letter is one column.
    const auto tokens = tokenize("a\tb\r\n  c\n\xC3\xA9t\xC3\xA9 d");
    ASSERT_EQ(tokens.size(), 6u);
    EXPECT_EQ(tokens[1].position, (SourcePosition{2, 1, 3}));
    EXPECT_EQ(tokens[2].position, (SourcePosition{7, 2, 3}));
    EXPECT_EQ(tokens[3].text, "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(tokens[3].position, (SourcePosition{9, 3, 1}));
    EXPECT_EQ(tokens[4].position, (SourcePosition{15, 3, 5}));
    EXPECT_EQ(tokens[5].position, (SourcePosition{16, 3, 6}));  // the end
}

TEST(Lexer, BadTextNamesTheTokenAndWhereItStarts) {
    EXPECT_EQ(error_of("select * from t where a = 'abc"),
              "Syntax error at 'abc (line 1, column 27): the closing ' is missing");
    EXPECT_EQ(error_of("insert into t values (1,\n \"Annual Leave)"),
              "Syntax error at \"Annual Leave) (line 2, column 2): the closing \" is missing");
    EXPECT_EQ(error_of("select @x from t"),
              "Syntax error at '@' (line 1, column 8): this character has no meaning in a "
              "statement");
    EXPECT_EQ(error_of("select a from t where b = 1 ? 2"),
              "Syntax error at '?' (line 1, column 29): this character has no meaning in a "
              "statement");
}

TEST(Lexer, LongTokenIsCutInTheMessage) {
    const std::string text = "'" + std::string(100, 'x');
    const std::string message = error_of(text);
    EXPECT_NE(message.find("'" + std::string(39, 'x') + "... (line 1, column 1)"),
              std::string::npos)
        << message;
}

}  // namespace
}  // namespace pdx::sql
