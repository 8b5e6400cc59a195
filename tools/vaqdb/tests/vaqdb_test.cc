// The shell on the corpus: .schema lines, .indexes, .tables, .export as RFC 4180 CSV, and
// how errors reach standard error and the exit status.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/api/config.h"
#include "test_support/corpus.h"
#include "tools/vaqdb/csv.h"
#include "tools/vaqdb/shell.h"
#include "tools/vaqdb/sql_types.h"

namespace vaq::shell {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = vaq::test_support::corpus_folder();

#define SKIP_WITHOUT_CORPUS()                        \
    if (!fs::is_directory(kCorpus))                  \
    GTEST_SKIP() << "The Paradox corpus " << kCorpus \
                 << " is absent; the shell tests read its tables."

struct Outcome {
    int status = 0;
    std::string out;
    std::string err;
};

Outcome run(const std::vector<std::string>& arguments, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    Outcome result;
    result.status = run_main(arguments, in, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

std::string dir(const std::string& folder) {
    return (kCorpus / folder).string();
}

// RFC 4180 read back: records of fields, quotes undone.
std::vector<std::vector<std::string>> parse_csv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string& field = rows.back().back();
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            rows.emplace_back(1);
        } else {
            field += c;
        }
    }
    if (rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
    return rows;
}

TEST(Csv, FieldsAreQuotedOnlyForCommaQuoteAndLineBreak) {
    EXPECT_EQ(csv_field("plain text"), "plain text");
    EXPECT_EQ(csv_field(""), "");
    EXPECT_EQ(csv_field(" padded "), " padded ");
    EXPECT_EQ(csv_field("a,b"), "\"a,b\"");
    EXPECT_EQ(csv_field("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csv_field("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(csv_field("cr\r"), "\"cr\r\"");
    std::ostringstream out;
    CsvWriter(out).write_row({"1", "", "x,y"});
    EXPECT_EQ(out.str(), "1,,\"x,y\"\r\n");
}

TEST(SqlTypes, EveryFieldTypeHasItsNameAndSizeByte) {
    using pdx::FieldType;
    const std::vector<std::pair<pdx::FieldDescriptor, std::string>> cases = {
        {{FieldType::kAlpha, 30}, "char(30)"},    {{FieldType::kShort, 2}, "smallint"},
        {{FieldType::kLong, 4}, "integer"},       {{FieldType::kAutoInc, 4}, "autoinc"},
        {{FieldType::kLogical, 1}, "boolean"},    {{FieldType::kDate, 4}, "date"},
        {{FieldType::kTime, 4}, "time"},          {{FieldType::kTimestamp, 8}, "datetime"},
        {{FieldType::kNumber, 8}, "float"},       {{FieldType::kMoney, 8}, "money"},
        {{FieldType::kBcd, 2}, "bcd(2)"},         {{FieldType::kMemo, 110}, "memo(110)"},
        {{FieldType::kBlob, 10}, "blob(10)"},     {{FieldType::kFmtMemo, 10}, "fmtmemo(10)"},
        {{FieldType::kOle, 10}, "ole(10)"},       {{FieldType::kGraphic, 250}, "graphic(250)"},
        {{FieldType::kBytes, 255}, "bytes(255)"},
    };
    for (const auto& [descriptor, name] : cases)
        EXPECT_EQ(sql_type_name(descriptor), name);
}

TEST(Shell, WordsMayBeQuoted) {
    EXPECT_EQ(split_words("  .schema\t\"My Table\"  x "),
              (std::vector<std::string>{".schema", "My Table", "x"}));
    EXPECT_THROW(split_words(".schema \"open"), std::exception);
}

TEST(ShellCorpus, SchemaListsSqlTypesWithSizeBytesAndThePrimaryKey) {
    SKIP_WITHOUT_CORPUS();
    const Outcome r = run({dir("pxlib"), ".schema", "typsammlung"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Alpha\tchar(30)\nNumerisch\tfloat\nWährung\tmoney\nInteger kurz\tsmallint\n"
              "Integer lang\tinteger\nBCD\tbcd(6)\nDatum\tdate\nZeit\ttime\n"
              "Datum/Zeit\tdatetime\nMemo\tmemo(11)\nLogisch\tboolean\nZähler\tautoinc\n"
              "Binär\tblob(10)\nBytes\tbytes(255)\nPRIMARY KEY (Alpha, Numerisch)\n");
    EXPECT_EQ(run({dir("paradoxdriver/db"), ".schema CONTACTS"}).out,
              "Last Name\tchar(10)\nFirst Name\tchar(20)\nCompany\tchar(30)\nPhone\tchar(15)\n");
}

TEST(ShellCorpus, IndexesAndTables) {
    SKIP_WITHOUT_CORPUS();
    EXPECT_EQ(run({dir("paradox-reader"), ".indexes", "zakazky"}).out,
              "ISKUPINA\tROK;MESIC;DEN;SMENA;TYPL;TAVBA\n");
    EXPECT_EQ(run({dir("pxlib"), ".indexes TypSammlung.db"}).out,
              "Numerisch\tNumerisch\nZähler\tZähler\n");
    EXPECT_EQ(run({dir("paradoxdriver/db"), ".indexes ORDERS"}).out, "");
    EXPECT_EQ(run({dir("paradox-reader"), ".tables"}).out, "testtab.DB\nzakazky.db\n");
}

TEST(ShellCorpus, ExportWritesEveryTypeInItsTextForm) {
    SKIP_WITHOUT_CORPUS();
    const Outcome r = run({dir("pxlib"), ".export", "TypSammlung"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = parse_csv(r.out);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0][2], "Währung");
    const std::string start = r.out.substr(0, r.out.find("Erste Zeile"));
    EXPECT_EQ(
        start.substr(start.find("\r\n") + 2),
        "AAA Irgendein Text,40,40,40,40,40,1970-01-01,00:00:00,1970-01-01 11:00:00,,,1,,\r\n");
    EXPECT_EQ(rows[5], (std::vector<std::string>{"Zweite Zeile", "-40", "-40", "-40", "-40", "-40",
                                                 "1999-09-09", "11:11:11", "2003-06-10 11:11:11",
                                                 "", "true", "2", "", ""}));

    const Outcome bytes = run({dir("paradoxdriver/fields"), ".export bytes.db"});
    const auto b = parse_csv(bytes.out);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0][0], "BYTES");
    EXPECT_EQ(b[1][0].size(), 2u + 2 * 255);
    EXPECT_EQ(b[1][0].substr(0, 10), "0x31003200");
}

TEST(ShellCorpus, ExportQuotesMemosWithLineBreaks) {
    SKIP_WITHOUT_CORPUS();
    const Outcome r = run({dir("paradoxdriver/db"), ".export", "customer"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = parse_csv(r.out);
    ASSERT_EQ(rows.size(), 21u);
    for (const auto& row : rows)
        EXPECT_EQ(row.size(), 10u);
    EXPECT_EQ(rows[1][8], "Small comment (less 100 symbols)");
    EXPECT_EQ(rows[2][8].substr(0, 20), "\tThe length of the l");
    EXPECT_NE(rows[2][8].find("\r"), std::string::npos);
    EXPECT_NE(r.out.find(",\"\tThe length"), std::string::npos);
    EXPECT_EQ(rows[2][9], "1996-02-16");
}

TEST(ShellErrors, ErrorsGoToStandardErrorWithStatusOne) {
    SKIP_WITHOUT_CORPUS();
    Outcome r = run({dir("pxlib"), ".schema", "nope"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Table does not exist: nope.\n");

    r = run({dir("pxlib"), ".frobnicate"});
    EXPECT_EQ(r.err, "Unknown command .frobnicate; .help lists the commands.\n");
    r = run({dir("pxlib"), ".schema"});
    EXPECT_EQ(r.err, "Usage: .schema TABLE\n");
    r = run({dir("pxlib"), ".schema ../pxlib/TypSammlung"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("may not hold a path"), std::string::npos) << r.err;
    r = run({dir("pxlib"), "select * from NoSuchTable"});
    EXPECT_EQ(r.status, 1);
    r = run({"/no/such/folder", ".tables"});
    EXPECT_EQ(r.err, "Directory does not exist: /no/such/folder\n");
    r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Usage: vaqdb DIR [COMMAND]\n(vaqdb --help tells more.)\n");
}

TEST(ShellErrors, StandardInputRunsEveryLineAndFailsWhenOneFailed) {
    SKIP_WITHOUT_CORPUS();
    Outcome r = run({dir("paradoxdriver/joins")}, ".indexes fk4\n\n  .nope\n.indexes C\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "reference\tFK1;FK\nA\tA\nB\tB\n");
    EXPECT_EQ(r.err, "stdin line 3: Unknown command .nope; did you mean .mode?\n");
    r = run({dir("paradoxdriver/joins")}, ".indexes fk4\r\n");
    EXPECT_EQ(r.status, 0);
}

TEST(ShellErrors, AliasesComeFromTheEngineConfiguration) {
    SKIP_WITHOUT_CORPUS();
    pdx::use_configuration(pdx::Configuration::from_text(
        "[alias Corpus]\ntype = STANDARD\npath = " + dir("paradox-reader") + "\n", kCorpus,
        "test"));
    EXPECT_EQ(run({":corpus", ".indexes", "testtab"}).out, "TIMEINDEX\tTIME\n");
    const Outcome r = run({":Nope", ".tables"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Alias not found: Nope\n");
    pdx::use_configuration(pdx::Configuration());
}

TEST(ShellProgram, TheProgramSeparatesOutputErrorsAndStatus) {
    SKIP_WITHOUT_CORPUS();
    char pattern[] = "/tmp/vaqdb-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path tmp = pattern;
    const auto slurp = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string command = std::string("'") + VAQDB_PROGRAM + "' '" + dir("no-such-folder") +
                                "' " + ".indexes fk4 >" + (tmp / "out").string() + " 2>" +
                                (tmp / "err").string();
    int status = std::system(command.c_str());
    EXPECT_NE(status, 0);
    EXPECT_EQ(slurp(tmp / "out"), "");
    EXPECT_NE(slurp(tmp / "err"), "");

    const std::string good = std::string("'") + VAQDB_PROGRAM + "' '" + dir("paradoxdriver/joins") +
                             "' .indexes fk4 >" + (tmp / "out").string() + " 2>" +
                             (tmp / "err").string();
    status = std::system(good.c_str());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(slurp(tmp / "out"), "reference\tFK1;FK\n");
    EXPECT_EQ(slurp(tmp / "err"), "");
    fs::remove_all(tmp);
}

}  // namespace
}  // namespace vaq::shell
