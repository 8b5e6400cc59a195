#include "tools/vaqdb/csv.h"

#include "common/error.h"

namespace vaqdb {

std::string csv_field(std::string_view text) {
    std::string field(text);
    quote_csv_field(field, 0);
    return field;
}

void quote_csv_field(std::string& out, std::size_t from) {
    if (out.find_first_of(",\"\r\n", from) == std::string::npos) return;
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

void CsvReader::fail(const std::string& what) const {
    throw vaq::Error(source_ + " line " + std::to_string(row_line_) + ": " + what + ".");
}

bool CsvReader::read_row(std::vector<std::string>& fields) {
    if (!started_) {
        started_ = true;
        if (in_.peek() == 0xEF) {
            char bom[3] = {};
            in_.read(bom, 3);
            if (std::string_view(bom, 3) != "\xEF\xBB\xBF")
                throw vaq::Error(source_ + " does not start as UTF-8 text.");
        }
    }
    fields.clear();
    std::string field;
    bool quoted = false;       // inside a quoted field
    bool after_quote = false;  // a quoted field ended; only a comma or the line end may follow
    bool any = false;          // the record holds something
    row_line_ = next_line_;
    for (int next = in_.get(); next != std::char_traits<char>::eof(); next = in_.get()) {
        const char c = static_cast<char>(next);
        if (quoted) {
            if (c == '"') {
                if (in_.peek() == '"') {
                    in_.get();
                    field += '"';
                } else {
                    quoted = false;
                    after_quote = true;
                }
            } else {
                if (c == '\n') ++next_line_;
                field += c;
            }
            continue;
        }
        if (c == '\r' && in_.peek() == '\n') continue;
        if (c == '\n') {
            ++next_line_;
            fields.push_back(std::move(field));
            return true;
        }
        any = true;
        if (c == ',') {
            fields.push_back(std::move(field));
            field.clear();
            after_quote = false;
        } else if (after_quote) {
            fail("text follows the closing quote of field " + std::to_string(fields.size() + 1));
        } else if (c == '"' && field.empty()) {
            quoted = true;
        } else {
            field += c;
        }
    }
    if (quoted) fail("a quoted field is not closed before the end of the file");
    if (!any && field.empty()) return false;
    fields.push_back(std::move(field));
    return true;
}

}  // namespace vaqdb
