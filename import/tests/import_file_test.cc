// Cutting lines into fields, zero padding of card numbers, and reading the lines of a file.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "import/import_file.h"

namespace vaq::import {
namespace {

namespace fs = std::filesystem;
using Fields = std::vector<std::string>;

TEST(CutFields, TakesAtMostSixFieldsFromTheLeftAsTheyStand) {
    EXPECT_EQ(cut_fields("15/10/2004,15:33:00,2,1,15433336,1"),
              (Fields{"15/10/2004", "15:33:00", "2", "1", "15433336", "1"}));
    EXPECT_EQ(cut_fields("15/10/2004"), Fields{"15/10/2004"});
    EXPECT_EQ(cut_fields(""), Fields{""});
    EXPECT_EQ(cut_fields("a,b,c,d,e,f,g,h"), (Fields{"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(cut_fields("a,b,c,d,e,f,"), (Fields{"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(cut_fields("a,b,c,d,e,"), (Fields{"a", "b", "c", "d", "e", ""}));
    EXPECT_EQ(cut_fields("a,,c"), (Fields{"a", "", "c"}));
    EXPECT_EQ(cut_fields(" 1/2/2004 , 8:00 ,2"), (Fields{" 1/2/2004 ", " 8:00 ", "2"}));
}

TEST(ZeroPad, FillsCardNumbersToTenCharacters) {
    EXPECT_EQ(zero_pad("15433336", 10), "0015433336");
    EXPECT_EQ(zero_pad("", 10), "0000000000");
    EXPECT_EQ(zero_pad(" 15433336", 10), "0 15433336");
    EXPECT_EQ(zero_pad("1234567890", 10), "1234567890");
    EXPECT_EQ(zero_pad("123456789012", 10), "123456789012");
}

class ImportFileReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vaq-import-file-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::vector<std::string> lines_of(const std::string& contents) {
        const fs::path file = dir_ / "lines.txt";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << contents;
        ImportFileReader reader(file);
        std::vector<std::string> lines;
        while (const auto line = reader.next_line())
            lines.push_back(*line);
        return lines;
    }

    fs::path dir_;
};

TEST_F(ImportFileReaderTest, LineEndsAndTheEndOfTheFile) {
    EXPECT_EQ(lines_of(""), Fields{});
    EXPECT_EQ(lines_of("a\nb"), (Fields{"a", "b"}));
    EXPECT_EQ(lines_of("a\r\nb\r\n"), (Fields{"a", "b"}));
    EXPECT_EQ(lines_of("\n"), Fields{""});
    EXPECT_EQ(lines_of("a\n\nb\n"), (Fields{"a", "", "b"}));
    // A carriage return without a line feed is dropped from the line.
    EXPECT_EQ(lines_of("a\rb\nc\r"), (Fields{"ab", "c"}));
    // Ctrl-Z ends the file, in a line or at its start.
    EXPECT_EQ(lines_of("a\nb\x1a"
                       "c\nd\n"),
              (Fields{"a", "b"}));
    EXPECT_EQ(lines_of("a\n\x1a\nb\n"), Fields{"a"});
}

TEST_F(ImportFileReaderTest, AFileThatCannotBeOpenedIsNamed) {
    try {
        ImportFileReader reader(dir_ / "missing.txt");
        FAIL() << "opened a missing file";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("missing.txt"), std::string::npos);
    }
}

}  // namespace
}  // namespace vaq::import
