#pragma once

// The import file: lines of up to six comma-separated fields, read as they stand (no
// quoting, no trimming), and the zero padding of card numbers.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vaq::import {

inline constexpr std::size_t kFieldsPerLine = 6;
inline constexpr std::size_t kCardNumberWidth = 10;

// Cuts a line at commas from the left into at most six fields: each field is the text
// before the next comma, the last one the whole rest of the line when no comma is left.
// Text after the sixth comma is dropped. An empty line has one empty field.
std::vector<std::string> cut_fields(std::string_view line);

// Prepends "0" until the text is `width` characters long; a longer text comes back as it is.
std::string zero_pad(std::string_view text, std::size_t width);

// Reads an import file line by line. A line ends at a line feed, with or without a carriage
// return before it; any other carriage return is dropped. A Ctrl-Z ends the file. The file
// is closed when the reader goes, whatever way the import ends.
class ImportFileReader {
  public:
    // Throws vaq::Error naming the file when it cannot be opened.
    explicit ImportFileReader(const std::filesystem::path& file);

    // The next line, or nothing at the end of the file. Throws vaq::Error when reading fails.
    // A UTF-8 byte-order mark at the start of the file is not part of the first line.
    std::optional<std::string> next_line();
    // The number of the line next_line() returned last, from 1.
    std::uint64_t line_number() const { return lineNumber_; }

  private:
    void skip_byte_order_mark();

    std::filesystem::path path_;
    std::ifstream in_;
    bool ended_ = false;
    std::uint64_t lineNumber_ = 0;
};

}  // namespace vaq::import
