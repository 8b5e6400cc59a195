#include "import/import_file.h"

#include <cerrno>
#include <cstring>

#include "common/error.h"

namespace vaq::import {

namespace {

constexpr char kEndOfFile = '\x1a';  // Ctrl-Z

std::string system_reason() {
    return errno != 0 ? std::string(std::strerror(errno)) : std::string("unknown error");
}

}  // namespace

std::vector<std::string> cut_fields(std::string_view line) {
    std::vector<std::string> fields;
    while (fields.size() < kFieldsPerLine) {
        const std::size_t comma = line.find(',');
        if (comma == std::string_view::npos) {
            fields.emplace_back(line);
            break;
        }
        fields.emplace_back(line.substr(0, comma));
        line.remove_prefix(comma + 1);
    }
    return fields;
}

std::string zero_pad(std::string_view text, std::size_t width) {
    if (text.size() >= width) return std::string(text);
    return std::string(width - text.size(), '0') + std::string(text);
}

ImportFileReader::ImportFileReader(const std::filesystem::path& file) : path_(file) {
    errno = 0;
    in_.open(file, std::ios::binary);
    if (!in_) throw Error("Cannot open the file " + file.string() + ": " + system_reason() + ".");
    skip_byte_order_mark();
}

void ImportFileReader::skip_byte_order_mark() {
    // A UTF-8 byte-order mark, which some editors put first, belongs to no field.
    char mark[3] = {};
    in_.read(mark, sizeof mark);
    if (in_.gcount() == 3 && mark[0] == '\xEF' && mark[1] == '\xBB' && mark[2] == '\xBF') return;
    in_.clear();
    in_.seekg(0);
}

std::optional<std::string> ImportFileReader::next_line() {
    if (ended_) return std::nullopt;
    std::string raw;
    errno = 0;
    if (!std::getline(in_, raw)) {
        if (in_.bad())
            throw Error("Cannot read the file " + path_.string() + ": " + system_reason() + ".");
        ended_ = true;
        return std::nullopt;
    }
    if (in_.eof()) ended_ = true;
    ++lineNumber_;
    const std::size_t stop = raw.find(kEndOfFile);
    if (stop != std::string::npos) {
        ended_ = true;
        if (stop == 0) return std::nullopt;
        raw.resize(stop);
    }
    std::string line;
    line.reserve(raw.size());
    for (const char c : raw)
        if (c != '\r') line += c;
    return line;
}

}  // namespace vaq::import
