#include "tools/vaqdb/csv.h"

#include <algorithm>
#include <cstring>

#include "common/error.h"
#include "tools/vaqdb/word_bytes.h"

namespace vaq::shell {

using namespace word_bytes;

std::string csv_field(std::string_view text) {
    std::string field(text);
    quote_csv_field(field, 0);
    return field;
}

void quote_csv_field(std::string& out, std::size_t from) {
    // A plain loop: the library's search for any of four bytes searches for each in turn.
    std::size_t special = from;
    while (special < out.size() && out[special] != ',' && out[special] != '"' &&
           out[special] != '\r' && out[special] != '\n')
        ++special;
    if (special == out.size()) return;
    std::string quoted = "\"";
    for (std::size_t i = from; i < out.size(); ++i) {
        if (out[i] == '"') quoted += '"';
        quoted += out[i];
    }
    quoted += '"';
    out.replace(from, std::string::npos, quoted);
}

void CsvWriter::write_row(const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out_ << ',';
        out_ << csv_field(fields[i]);
    }
    out_ << "\r\n";
}

CsvReader::CsvReader(std::istream& in, std::string source, std::size_t read_size)
    : in_(in), source_(std::move(source)), read_size_(std::max<std::size_t>(read_size, 1)) {}

void CsvReader::fail(const std::string& what) const {
    throw vaq::Error(source_ + " line " + std::to_string(row_line_) + ": " + what + ".");
}

// Keeps the bytes not yet taken at the front of the buffer and reads more after them (the
// buffer grows when they fill it). False when the input has ended.
bool CsvReader::read_more() {
    if (input_ended_) return false;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(std::max(read_size_, buffer_.size() * 2));
    in_.read(buffer_.data() + end_, static_cast<std::streamsize>(buffer_.size() - end_));
    if (in_.bad()) throw vaq::Error("Cannot read the CSV file " + source_ + ".");
    const auto got = static_cast<std::size_t>(in_.gcount());
    end_ += got;
    taken_ += got;
    if (in_.eof() || got == 0) input_ended_ = true;
    return got > 0;
}

void CsvReader::skip_byte_order_mark() {
    while (end_ - begin_ < 3 && read_more()) {
    }
    if (begin_ == end_ || buffer_[begin_] != '\xEF') return;
    if (end_ - begin_ < 3 || std::string_view(buffer_.data() + begin_, 3) != "\xEF\xBB\xBF")
        throw vaq::Error(source_ + " does not start as UTF-8 text.");
    begin_ += 3;
}

// Finds the line feed that ends the record starting at begin_, outside quotes, counts the
// line feeds inside its quoted fields and says whether it holds a quote at all. False when
// the bytes read so far end first.
bool CsvReader::find_row_end(std::size_t& row_end, std::size_t& line_breaks,
                             bool& holds_quote) const {
    const char* data = buffer_.data();
    const char* first = data + begin_;
    const char* last = data + end_;
    const auto* newline =
        static_cast<const char*>(std::memchr(first, '\n', static_cast<std::size_t>(last - first)));
    const char* stop = newline != nullptr ? newline : last;
    line_breaks = 0;
    holds_quote = false;
    // Most records hold no quote at all: the first line feed ends them.
    if (std::memchr(first, '"', static_cast<std::size_t>(stop - first)) == nullptr) {
        if (newline == nullptr) return false;
        row_end = static_cast<std::size_t>(newline - data);
        return true;
    }
    // A quote at the start of a field opens it until the next single quote; a quote right
    // after that one is a doubled quote and opens it again.
    holds_quote = true;
    enum class State { kFieldStart, kPlain, kQuoted, kAfterQuote };
    State state = State::kFieldStart;
    for (const char* p = first; p != last; ++p) {
        const char c = *p;
        if (state == State::kQuoted) {
            if (c == '"')
                state = State::kAfterQuote;
            else if (c == '\n')
                ++line_breaks;
            continue;
        }
        if (c == '"' && state != State::kPlain) {
            state = State::kQuoted;
        } else if (c == '\n') {
            row_end = static_cast<std::size_t>(p - data);
            return true;
        } else {
            state = c == ',' ? State::kFieldStart : State::kPlain;
        }
    }
    return false;
}

void CsvReader::split_plain(std::size_t from, std::size_t to,
                            std::vector<std::string_view>& fields) {
    // Fields are short, a few bytes each: the commas are looked for eight bytes at a time
    // rather than by a library search for each field.
    const char* data = buffer_.data();
    std::size_t start = from;
    std::size_t i = from;
    for (; i + 8 <= to; i += 8)
        for (std::uint64_t commas = bytes_equal_to(eight_bytes(data + i), ','); commas != 0;
             commas = without_first_marked(commas)) {
            const std::size_t comma = i + first_marked(commas);
            fields.emplace_back(data + start, comma - start);
            start = comma + 1;
        }
    for (; i < to; ++i) {
        if (data[i] != ',') continue;
        fields.emplace_back(data + start, i - start);
        start = i + 1;
    }
    fields.emplace_back(data + start, to - start);
}

// A record holding quotes: each quoted field is undone where it stands (its text moves left
// over the quotes), so that its view needs no copy.
void CsvReader::split_quoted(std::size_t from, std::size_t to,
                             std::vector<std::string_view>& fields) {
    char* data = buffer_.data();
    std::size_t i = from;
    while (true) {
        if (i == to || data[i] != '"') {
            const auto* comma = static_cast<const char*>(std::memchr(data + i, ',', to - i));
            const std::size_t stop = comma != nullptr ? static_cast<std::size_t>(comma - data) : to;
            fields.emplace_back(data + i, stop - i);
            if (stop == to) return;
            i = stop + 1;
            continue;
        }
        const std::size_t start = ++i;
        std::size_t out = start;
        while (true) {
            if (i == to) fail("a quoted field is not closed before the end of the file");
            const char c = data[i++];
            if (c == '"') {
                if (i == to || data[i] != '"') break;
                ++i;
            }
            data[out++] = c;
        }
        fields.emplace_back(data + start, out - start);
        if (i == to) return;
        if (data[i] != ',')
            fail("text follows the closing quote of field " + std::to_string(fields.size()));
        ++i;
    }
}

bool CsvReader::peek_line(std::string_view& line) {
    if (!started_) {
        started_ = true;
        skip_byte_order_mark();
    }
    const char* newline = nullptr;
    while ((newline = static_cast<const char*>(
                std::memchr(buffer_.data() + begin_, '\n', end_ - begin_))) == nullptr)
        if (!read_more()) return false;
    const char* first = buffer_.data() + begin_;
    const char* stop = newline;
    if (stop > first && stop[-1] == '\r') --stop;
    line = std::string_view(first, static_cast<std::size_t>(stop - first));
    peeked_end_ = static_cast<std::size_t>(newline - buffer_.data()) + 1;
    return true;
}

void CsvReader::take_line() {
    row_line_ = next_line_++;
    begin_ = peeked_end_;
}

bool CsvReader::read_row(std::vector<std::string_view>& fields) {
    if (!started_) {
        started_ = true;
        skip_byte_order_mark();
    }
    fields.clear();
    std::size_t row_end = 0;
    std::size_t line_breaks = 0;
    bool ended_by_line_feed = true;
    bool holds_quote = true;
    while (!find_row_end(row_end, line_breaks, holds_quote)) {
        if (!read_more()) {
            if (begin_ == end_) return false;
            // The last record, without a line end.
            row_end = end_;
            ended_by_line_feed = false;
            holds_quote = true;
            break;
        }
    }
    row_line_ = next_line_;
    std::size_t content_end = row_end;
    std::size_t next = row_end;
    if (ended_by_line_feed) {
        next_line_ += line_breaks + 1;
        ++next;
        // CR LF ends a record as LF alone does (a CR inside quotes is followed by a quoted LF).
        if (content_end > begin_ && buffer_[content_end - 1] == '\r') --content_end;
    }
    const std::size_t from = begin_;
    begin_ = next;
    if (!holds_quote)
        split_plain(from, content_end, fields);
    else
        split_quoted(from, content_end, fields);
    return true;
}

}  // namespace vaq::shell
