// The CSV reader and the records made from CSV rows. The reader takes its input in large
// reads: every record must come out the same whatever the read size, a record split
// between two reads included. The record maker writes common values straight into record
// bytes: they must be the bytes the engine's conversion writes.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/dateformat.h"
#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/format/tests/scratch_files.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/table.h"
#include "engine/table/table_admin.h"
#include "engine/table/value.h"
#include "tools/vaqdb/csv.h"
#include "tools/vaqdb/csv_record.h"
#include "tools/vaqdb/csv_row_text.h"

namespace vaq::shell {
namespace {

struct Read {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::size_t> lines;
    std::string error;  // empty when the input read to its end
};

Read read_all(const std::string& text, std::size_t read_size) {
    std::istringstream in(text);
    CsvReader reader(in, "in.csv", read_size);
    Read read;
    std::vector<std::string_view> fields;
    try {
        while (reader.read_row(fields)) {
            read.rows.emplace_back(fields.begin(), fields.end());
            read.lines.push_back(reader.line());
        }
    } catch (const vaq::Error& error) {
        read.error = error.what();
    }
    return read;
}

TEST(CsvReader, RecordsAreTheSameWhateverTheReadSize) {
    const std::string tricky =
        "\xEF\xBB\xBFId,Name,Note\r\n"
        "1,plain,\r\n"
        "2,\"comma, inside\",\"a \"\"quoted\"\" word\"\r\n"
        "3,\"line\nbreak\",\"cr\r\nlf\"\n"
        "\n"
        "4,a\"b,\"\"\n"
        "5,,\"\",\r\n"
        "6,lone\rcr,end";
    const Read whole = read_all(tricky, CsvReader::kReadSize);
    ASSERT_EQ(whole.error, "");
    const std::vector<std::vector<std::string>> expected = {
        {"Id", "Name", "Note"},
        {"1", "plain", ""},
        {"2", "comma, inside", "a \"quoted\" word"},
        {"3", "line\nbreak", "cr\r\nlf"},
        {""},
        {"4", "a\"b", ""},
        {"5", "", "", ""},
        {"6", "lone\rcr", "end"},
    };
    EXPECT_EQ(whole.rows, expected);
    EXPECT_EQ(whole.lines, (std::vector<std::size_t>{1, 2, 3, 4, 7, 8, 9, 10}));
    for (std::size_t size = 1; size < tricky.size() + 2; ++size) {
        const Read piecewise = read_all(tricky, size);
        EXPECT_EQ(piecewise.rows, whole.rows) << "read size " << size;
        EXPECT_EQ(piecewise.lines, whole.lines) << "read size " << size;
        EXPECT_EQ(piecewise.error, "") << "read size " << size;
    }
}

// Records without quotes are split several bytes at a time: a comma is found wherever it
// falls among them, and no other byte passes for one (',' with its high bit set, 0xAC, in
// particular).
TEST(CsvReader, PlainRecordsSplitAtEveryCommaWhereverItFalls) {
    const std::string letters = "a\xAC\x80\xFF\x01z.";
    std::vector<std::vector<std::string>> expected;
    std::string text;
    for (std::size_t row = 0; row < 40; ++row) {
        std::vector<std::string> fields;
        for (std::size_t field = 0; field < 1 + row % 7; ++field) {
            std::string value;
            for (std::size_t i = 0; i < (row * 3 + field * 5) % 19; ++i)
                value += letters[(row + field + i) % letters.size()];
            fields.push_back(value);
            text += (field > 0 ? "," : "") + value;
        }
        text += row % 2 == 0 ? "\r\n" : "\n";
        expected.push_back(fields);
    }
    for (const std::size_t size : {std::size_t{3}, std::size_t{64}, CsvReader::kReadSize}) {
        const Read read = read_all(text, size);
        EXPECT_EQ(read.error, "");
        EXPECT_EQ(read.rows, expected) << "read size " << size;
    }
}

// A reader that takes the lines it can as they stand and reads the others as records (as
// .import does: a line holding a quote is always read as a record) gives the records and
// lines of read_row() alone, whatever the read size.
TEST(CsvReader, LinesTakenAsTheyStandInterleaveWithRecordsRead) {
    const std::string text =
        "\xEF\xBB\xBFId,Name\r\n"
        "1,plain\r\n"
        "2,\"quoted\nover two lines\"\n"
        "\n"
        "3,lone\rcr\n"
        "4,a\"b\r\n"
        "5,last";
    for (std::size_t size = 1; size < text.size() + 2; ++size) {
        std::istringstream in(text);
        CsvReader reader(in, "in.csv", size);
        Read read;
        std::vector<std::string_view> fields;
        for (std::size_t n = 0;; ++n) {
            std::string_view line;
            // Every other line that may be taken is taken as it stands.
            if (reader.peek_line(line) && line.find('"') == std::string_view::npos && n % 2 == 0) {
                std::vector<std::string> split(1);
                for (const char c : line)
                    if (c == ',')
                        split.emplace_back();
                    else
                        split.back() += c;
                reader.take_line();
                read.rows.push_back(split);
            } else if (reader.read_row(fields)) {
                read.rows.emplace_back(fields.begin(), fields.end());
            } else {
                break;
            }
            read.lines.push_back(reader.line());
        }
        const Read whole = read_all(text, CsvReader::kReadSize);
        EXPECT_EQ(read.rows, whole.rows) << "read size " << size;
        EXPECT_EQ(read.lines, whole.lines) << "read size " << size;
    }
}

TEST(CsvReader, MalformedInputNamesItsLineWhateverTheReadSize) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a,b\n1,\"open\nstill open\n",
         "in.csv line 2: a quoted field is not closed before the end of the file."},
        {"a,b\n\"x\"\n1,\"a\"b\n", "in.csv line 3: text follows the closing quote of field 2."},
        {"\xEF\xBB", "in.csv does not start as UTF-8 text."},
    };
    for (const auto& [text, message] : cases)
        for (const std::size_t size :
             {std::size_t{1}, std::size_t{2}, std::size_t{5}, CsvReader::kReadSize})
            EXPECT_EQ(read_all(text, size).error, message) << text << " read size " << size;
    EXPECT_TRUE(read_all("", 1).rows.empty());
    EXPECT_EQ(read_all("x", 1).rows, (std::vector<std::vector<std::string>>{{"x"}}));
}

// The bytes the engine writes for `text`, or its error.
std::string engine_bytes(const std::shared_ptr<pdx::Table>& table, std::size_t field,
                         const std::string& text) {
    pdx::EditBuffer buffer = pdx::EditBuffer::blank(table);
    try {
        buffer.set(field, pdx::FieldInput(text));
    } catch (const vaq::Error& error) {
        return std::string("error: ") + error.what();
    }
    const pdx::Bytes bytes = buffer.record().bytes();
    return std::string(bytes.begin(), bytes.end());
}

std::string made_bytes(const std::shared_ptr<pdx::Table>& table, std::size_t field,
                       const std::string& text) {
    const CsvRecordMaker maker(*table, {field});
    std::vector<std::uint8_t> record(table->schema().record_size());
    std::vector<std::vector<std::uint8_t>> blobs;
    const std::string_view row[] = {text};
    try {
        maker.make(row, record, blobs);
    } catch (const vaq::Error& error) {
        return std::string("error: ") + error.what();
    }
    return std::string(record.begin(), record.end());
}

// Table Every in `folder`: a field of each type the record maker converts itself, in this
// order (fields 0 to 6), then `more`.
std::shared_ptr<pdx::Table> every_type_table(const std::filesystem::path& folder,
                                             const std::vector<pdx::FieldSpec>& more = {}) {
    pdx::TableSpec layout;
    layout.fields = {
        {"Name", pdx::FieldType::kAlpha, 6},      {"Small", pdx::FieldType::kShort, 0},
        {"Id", pdx::FieldType::kLong, 0},         {"Counter", pdx::FieldType::kAutoInc, 0},
        {"Day", pdx::FieldType::kDate, 0},        {"Clock", pdx::FieldType::kTime, 0},
        {"Moment", pdx::FieldType::kTimestamp, 0}};
    layout.fields.insert(layout.fields.end(), more.begin(), more.end());
    pdx::create_table(folder, "Every", layout);
    return pdx::Table::open(folder, "Every");
}

TEST(CsvRecordMaker, WritesTheBytesTheEngineWrites) {
    pdx::testing::TempDir dir;
    const auto table = every_type_table(dir.path());
    const CsvDateForms forms;

    const std::vector<std::vector<std::string>> values = {
        {"abc", "abcdef", "abcdefg", "Grüße", "a,b", " x "},
        {"0", "-0", "7", "+7", " 7", "32767", "-32767", "32768", "-32768", "1e3", "x", "007"},
        {"0", "2147483647", "-2147483647", "2147483648", "-2147483648", "12345678901", "-", "1.0",
         "00000000001"},
        {"1", "0", "-1", "2147483647", "2147483648"},
        {"2024-02-29", "2023-02-29", "0001-01-01", "0050-06-15", "0099-12-31", "0100-01-01",
         "1899-12-31", "1900-01-01", "9999-12-31", "2024-13-01", "2024-00-10", "2024-1-01",
         "24-01-01", "2024/01/01", "2024-01-01x"},
        {"00:00:00", "23:59:59", "23:59:59.999", "12:30:00.5", "12:30:00.050", "24:00:00",
         "12:60:00", "12:00:60", "1:00:00", "12:00", "12:00:00.1234"},
        {"2024-02-29 08:30:00", "1850-06-01 00:00:00.001", "9999-12-31 23:59:59.999",
         "0001-01-01 00:00:00", "2024-02-29", "2024-02-29T08:30:00", "2024-02-29  08:30:00",
         "2023-02-29 08:30:00", "2024-02-29 25:00:00"},
    };
    for (std::size_t field = 0; field < values.size(); ++field)
        for (const std::string& text : values[field]) {
            const std::string made = made_bytes(table, field, text);
            if (made.starts_with("error: "))
                // A value refused: the engine refuses it too, or the CSV form does.
                EXPECT_TRUE(engine_bytes(table, field, text).starts_with("error: ") ||
                            made.find("is not in the form") != std::string::npos)
                    << field << " '" << text << "': " << made;
            else
                EXPECT_EQ(made, engine_bytes(table, field, text)) << field << " '" << text << "'";
        }

    // And many dates and times of every month and hour, in a row of every column.
    std::mt19937 random(17);
    for (int i = 0; i < 2000; ++i) {
        const vaq::Date date =
            vaq::from_day_number(static_cast<std::int32_t>(random() % 3'652'059 + 1));
        const vaq::Time time =
            vaq::from_milliseconds(static_cast<std::int32_t>(random() % 86'400'000));
        const std::string day = vaq::iso_date(date);
        const std::string clock = vaq::iso_time(time);
        EXPECT_EQ(made_bytes(table, 4, day), engine_bytes(table, 4, day)) << day;
        EXPECT_EQ(made_bytes(table, 5, clock), engine_bytes(table, 5, clock)) << clock;
        EXPECT_EQ(made_bytes(table, 6, day + " " + clock),
                  engine_bytes(table, 6, day + " " + clock))
            << day << " " << clock;
    }
}

// A line of common values makes, in one pass over it, the record its fields make; any other
// line (a quote, a value only the engine converts or refuses, too few or too many values) is
// left to the fields.
TEST(CsvRecordMaker, PlainLinesMakeTheRecordsOfTheirFields) {
    pdx::testing::TempDir dir;
    const auto table = every_type_table(dir.path(), {{"Flag", pdx::FieldType::kLogical, 0}});
    const CsvDateForms forms;

    // Each column in CSV order (not the table's), and one value in turn replaced by others.
    const std::vector<std::size_t> columns = {6, 0, 3, 1, 4, 2, 5};
    const std::vector<std::string> usual = {"2024-02-29 08:30:00", "Door 1", "12",          "-7",
                                            "2024-02-29",          "1500",   "23:59:59.999"};
    const std::vector<std::vector<std::string>> others = {
        {"", "2024-02-29 08:30:00.5", "2024-02-29 08:30:00.500", "2024-02-29T08:30:00",
         "2024-02-30 08:30:00", "2024-02-29 08:30", "2024-02-29 08:30:00.5000"},
        {"", "abcdef", "abcdefg", "a\"b", "\"ab\"", "Grüße", " x ", std::string("a\0b", 3)},
        {"", "1", "0", "-1", "2147483647", "2147483648", "+5", "00000000001", "000000000001"},
        {"", "0", "-0", "32767", "-32767", "32768", "-32768", "-", "--1", "1e3", "7 "},
        {"", "0001-01-01", "9999-12-31", "2023-02-29", "2024-1-01", "2024-01-01x", "2024/01/01"},
        {"", "-2147483647", "2147483647", "-2147483648", "12345678901", "1.0"},
        {"", "00:00:00", "12:30:00.5", "12:30:00.050", "24:00:00", "12:00", "12:00:00.1234",
         "1:00:00"},
    };
    const CsvRecordMaker maker(*table, columns);
    ASSERT_TRUE(maker.makes_plain_lines());
    std::vector<std::string> lines;
    for (std::size_t column = 0; column < columns.size(); ++column)
        for (const std::string& other : others[column]) {
            std::string line;
            for (std::size_t i = 0; i < columns.size(); ++i)
                line += (i > 0 ? "," : "") + (i == column ? other : usual[i]);
            lines.push_back(line);
        }
    std::string usual_line;
    for (const std::string& value : usual)
        usual_line += (usual_line.empty() ? "" : ",") + value;
    lines.insert(lines.end(), {usual_line, usual_line + ",", usual_line.substr(0, 30), "", ",",
                               std::string(6, ','), std::string(7, ','), usual_line + "\r"});

    std::vector<std::uint8_t> plain(table->schema().record_size());
    std::vector<std::uint8_t> record(table->schema().record_size());
    std::vector<std::vector<std::uint8_t>> blobs;
    std::size_t taken = 0;
    for (const std::string& line : lines) {
        std::istringstream in(line);
        CsvReader reader(in, "in.csv");
        std::vector<std::string_view> fields;
        ASSERT_TRUE(reader.read_row(fields) || line.empty());
        if (!maker.make_plain(line, plain)) continue;
        ++taken;
        ASSERT_EQ(fields.size(), columns.size()) << line;
        maker.make(fields, record, blobs);
        EXPECT_EQ(plain, record) << "'" << line << "'";
    }
    // The usual line, each line with an empty value and most with another valid one.
    EXPECT_GE(taken, 20u);
    EXPECT_TRUE(maker.make_plain(usual_line, plain));

    taken = 0;
    // Numbers of every length, wherever they fall, and text of every length.
    std::mt19937 random(29);
    const auto number = [&] {
        std::string text = random() % 4 == 0 ? "-" : "";
        const std::size_t digits = random() % 12;
        for (std::size_t i = 0; i < digits; ++i)
            text += static_cast<char>('0' + random() % 10);
        return text;
    };
    for (int i = 0; i < 3000; ++i) {
        const std::string small = number();
        const std::string id = number();
        const std::string counter = number();
        const std::string name = std::string(random() % 8, 'n');
        const std::string line = usual[0] + "," + name + "," + counter + "," + small + "," +
                                 usual[4] + "," + id + "," + usual[6];
        std::istringstream in(line);
        CsvReader reader(in, "in.csv");
        std::vector<std::string_view> fields;
        ASSERT_TRUE(reader.read_row(fields));
        std::string made;
        try {
            maker.make(fields, record, blobs);
            made = std::string(record.begin(), record.end());
        } catch (const vaq::Error&) {
            made = "error";
        }
        if (!maker.make_plain(line, plain)) continue;
        ++taken;
        EXPECT_EQ(std::string(plain.begin(), plain.end()), made) << line;
    }
    EXPECT_GE(taken, 300u);  // about a fifth of the lines hold three numbers in range

    // A column the engine converts leaves every line to the fields.
    const CsvRecordMaker with_flag(*table, {0, 7});
    EXPECT_FALSE(with_flag.makes_plain_lines());
    EXPECT_FALSE(with_flag.make_plain("x,true", plain));
}

// One maker reads the rows of a file one after another: a date repeated, changed, given
// back, or followed by one that is not valid (or whose time is not) is read as on its own.
TEST(CsvRecordMaker, DatesOfRowAfterRowAreReadAsEachAlone) {
    pdx::testing::TempDir dir;
    pdx::TableSpec layout;
    layout.fields = {{"Day", pdx::FieldType::kDate, 0}, {"Moment", pdx::FieldType::kTimestamp, 0}};
    pdx::create_table(dir.path(), "Dates", layout);
    const auto table = pdx::Table::open(dir.path(), "Dates");
    const CsvDateForms forms;
    const std::vector<std::string> days = {
        std::string(10, '\0'), "2024-02-29", "2024-02-29", "2024-03-01", "2024-02-29",
        "2023-02-29",          "2024-02-29", "2024-02-2x", "2024-02-29", "2024-02-29x"};
    const std::vector<std::string> moments = {
        std::string(19, '\0'), "2024-02-29 08:30:00", "2024-02-29 09:00:00.500",
        "2024-02-29 25:00:00", "2024-02-29 10:00:00", "2024-02-30 10:00:00",
        "2024-02-29T10:00:00", "2024-02-29 10:00:00", "1999-12-31 23:59:59"};
    for (const auto& [field, texts] :
         {std::pair{std::size_t{0}, days}, std::pair{std::size_t{1}, moments}}) {
        const CsvRecordMaker maker(*table, {field});
        std::vector<std::uint8_t> record(table->schema().record_size());
        std::vector<std::vector<std::uint8_t>> blobs;
        for (const std::string& text : texts) {
            const std::string_view row[] = {text};
            std::string made;
            try {
                maker.make(row, record, blobs);
                made = std::string(record.begin(), record.end());
            } catch (const vaq::Error& error) {
                made = "error";
            }
            const std::string engine = engine_bytes(table, field, text);
            EXPECT_EQ(made, engine.starts_with("error: ") ? "error" : engine)
                << field << " '" << text << "'";
        }
    }
}

// The text .export wrote before rows were formatted from their bytes: each value through
// Value, quoted where needed.
std::string text_through_values(const pdx::Table& table, pdx::Bytes record) {
    std::string text;
    for (const pdx::Field& field : table.schema().fields()) {
        if (field.index > 0) text += ',';
        const std::size_t from = text.size();
        pdx::Value(table, field, record.subspan(field.offset, field.width())).append_text(text);
        quote_csv_field(text, from);
    }
    return text;
}

// Every byte pattern a field may hold, damaged ones included (days and times far out of
// range, timestamps beyond any calendar, text in the code page's upper half).
TEST(CsvRowText, WritesWhatValuesWriteForAnyRecordBytes) {
    pdx::testing::TempDir dir;
    pdx::TableSpec layout;
    layout.fields = {
        {"Name", pdx::FieldType::kAlpha, 12},      {"Small", pdx::FieldType::kShort, 0},
        {"Id", pdx::FieldType::kLong, 0},          {"Counter", pdx::FieldType::kAutoInc, 0},
        {"Day", pdx::FieldType::kDate, 0},         {"Clock", pdx::FieldType::kTime, 0},
        {"Moment", pdx::FieldType::kTimestamp, 0}, {"Amount", pdx::FieldType::kNumber, 0},
        {"Flag", pdx::FieldType::kLogical, 0},     {"Exact", pdx::FieldType::kBcd, 2},
        {"Raw", pdx::FieldType::kBytes, 3}};
    pdx::create_table(dir.path(), "Every", layout);
    const auto table = pdx::Table::open(dir.path(), "Every");
    const std::size_t size = table->schema().record_size();
    CsvRowText row_text(*table);
    std::mt19937 random(29);
    const std::uint8_t pieces[] = {0x00, 0x80, 0x7F, 0xFF, 0x01, ',', '"', '\n', 'a', 0xE9};
    // All rows also one after another in one buffer, as .export writes them: a small one at
    // first, so that rows must grow it, each followed by its line end in the room left.
    std::string rows(16, '\0');
    std::size_t rows_end = 0;
    std::string expected_rows;
    for (int i = 0; i < 20000; ++i) {
        std::vector<std::uint8_t> record(size);
        for (std::uint8_t& byte : record)
            byte = random() % 3 == 0 ? pieces[random() % std::size(pieces)]
                                     : static_cast<std::uint8_t>(random());
        // Often a plausible value: a date near the others, a time of the day, a timestamp.
        if (i % 2 == 0) {
            const pdx::Field& day = table->schema()[4];
            pdx::encode_long(static_cast<std::int32_t>(730'000 + random() % 5),
                             record.data() + day.offset);
            const pdx::Field& clock = table->schema()[5];
            pdx::encode_long(static_cast<std::int32_t>(random() % 86'400'000),
                             record.data() + clock.offset);
            const pdx::Field& moment = table->schema()[6];
            pdx::encode_double(730'000.0 * 86'400'000 + static_cast<double>(random() % 200'000'000),
                               record.data() + moment.offset);
        }
        std::string made;
        row_text.append(record, made);
        const std::string expected = text_through_values(*table, record);
        ASSERT_EQ(made, expected) << "record " << i;

        rows_end = row_text.write(record, rows, rows_end);
        ASSERT_LE(rows_end + CsvRowText::kRoomAfterRow, rows.size());
        rows[rows_end++] = '\r';
        rows[rows_end++] = '\n';
        expected_rows += expected + "\r\n";
    }
    rows.resize(rows_end);
    EXPECT_EQ(rows, expected_rows);
}

// Text fields are copied eight bytes at a time while they hold plain ASCII: a byte that
// ends the text, needs quotes or is converted is found at every place of fields of every
// width around the eight, each such byte alone or after another.
TEST(CsvRowText, TextOfEveryWidthIsCutQuotedOrConvertedWhereverItsByteFalls) {
    pdx::testing::TempDir dir;
    pdx::TableSpec layout;
    const int widths[] = {1, 2, 7, 8, 9, 15, 16, 17, 20};
    for (const int width : widths)
        layout.fields.push_back({"A" + std::to_string(width), pdx::FieldType::kAlpha, width});
    pdx::create_table(dir.path(), "Texts", layout);
    const auto table = pdx::Table::open(dir.path(), "Texts");
    CsvRowText row_text(*table);
    const std::uint8_t specials[] = {0x00, ',', '"', '\r', '\n', 0x80, 0xE9, 0xFF, 0x7F, ' '};
    std::mt19937 random(31);
    for (const std::uint8_t special : specials)
        for (int place = 0; place < 20; ++place)
            for (int round = 0; round < 4; ++round) {
                std::vector<std::uint8_t> record(table->schema().record_size());
                for (const pdx::Field& field : table->schema().fields()) {
                    const auto width = static_cast<int>(field.width());
                    // Letters over a random length (the rest NUL), the byte at `place`.
                    const int length = static_cast<int>(random() % (width + 1));
                    for (int i = 0; i < length; ++i)
                        record[field.offset + i] = static_cast<std::uint8_t>('a' + random() % 26);
                    if (place < width) record[field.offset + place] = special;
                    if (round % 2 == 1 && place + 3 < width)
                        record[field.offset + place + 3] = specials[random() % std::size(specials)];
                }
                std::string made;
                row_text.append(record, made);
                ASSERT_EQ(made, text_through_values(*table, record))
                    << "byte " << int{special} << " at " << place;
            }
}

}  // namespace
}  // namespace vaq::shell
