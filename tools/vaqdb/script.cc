#include "tools/vaqdb/script.h"

#include "common/text.h"

namespace vaq::shell {

namespace {

bool only_blanks(std::string_view text) {
    return vaq::trim_space(text).empty();
}

}  // namespace

std::optional<std::string> StreamLines::read_line(bool /*continued*/) {
    std::string line;
    if (!std::getline(in_, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::optional<ScriptCommand> ScriptReader::next() {
    while (true) {
        if (!line_open_) {
            std::optional<std::string> line = lines_.read_line(!statement_.empty());
            if (!line) break;
            if (lines_.input_cancelled()) {
                statement_.clear();
                quote_ = 0;
                continue;
            }
            line_ = std::move(*line);
            at_ = 0;
            line_open_ = true;
            ++line_number_;
            const std::string_view text = vaq::trim_space(line_);
            if (statement_.empty() && text.starts_with('.')) {
                line_open_ = false;
                std::string_view command = text;
                if (command.ends_with(';'))
                    command = vaq::trim_space(command.substr(0, command.size() - 1));
                return ScriptCommand{std::string(command), line_number_};
            }
        }
        if (scan_sql()) {
            ScriptCommand done{std::string(vaq::trim_space(statement_)), statement_line_};
            statement_.clear();
            if (!done.text.empty()) return done;
        }
    }
    if (only_blanks(statement_)) return std::nullopt;
    ScriptCommand last{std::string(vaq::trim_space(statement_)), statement_line_};
    statement_.clear();
    return last;
}

bool ScriptReader::scan_sql() {
    while (at_ < line_.size()) {
        const char c = line_[at_];
        if (quote_ == 0 && c == '-' && at_ + 1 < line_.size() && line_[at_ + 1] == '-') {
            at_ = line_.size();
            break;
        }
        ++at_;
        if (quote_ == 0 && c == ';') return true;
        if (quote_ == 0 && (c == '\'' || c == '"'))
            quote_ = c;
        else if (c == quote_)
            quote_ = 0;  // a doubled quote closes and opens again, which comes to the same
        if (statement_.empty() && vaq::is_space(c)) continue;
        if (statement_.empty()) statement_line_ = line_number_;
        statement_ += c;
    }
    line_open_ = false;
    if (!statement_.empty()) statement_ += '\n';
    return false;
}

}  // namespace vaq::shell
