#include "import/import_messages.h"

#include <cstdio>

namespace vaq::import {

namespace {

// The length of the UTF-8 sequence that starts `text` (1 to 4), or 0 when it is none.
std::size_t sequence_length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else
        return 0;
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80) return 0;
    return length;
}

std::string escaped(unsigned char byte) {
    char text[5];
    std::snprintf(text, sizeof text, "\\x%02X", byte);
    return text;
}

// Appends `text` with control characters and stray bytes escaped; at most `limit`
// characters, then "…" when something was left out.
void append_shown(std::string& out, std::string_view text, std::size_t limit) {
    std::size_t characters = 0;
    while (!text.empty()) {
        if (characters == limit) {
            out += "\xE2\x80\xA6";  // …
            return;
        }
        const std::size_t length = sequence_length(text);
        const auto lead = static_cast<unsigned char>(text.front());
        if (length == 0 || lead < 0x20 || lead == 0x7F) {
            out += escaped(lead);
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
        ++characters;
    }
}

}  // namespace

std::string shown_value(std::string_view value) {
    std::string out;
    append_shown(out, value, kQuotedCharacters);
    return out;
}

std::string shown_message(std::string_view message) {
    std::string out;
    while (!message.empty()) {
        const std::size_t open = message.find('\'');
        const std::size_t close =
            open == std::string_view::npos ? open : message.find('\'', open + 1);
        if (close == std::string_view::npos) {
            append_shown(out, message, std::string_view::npos);
            break;
        }
        append_shown(out, message.substr(0, open + 1), std::string_view::npos);
        append_shown(out, message.substr(open + 1, close - open - 1), kQuotedCharacters);
        out += '\'';
        message.remove_prefix(close + 1);
    }
    return out;
}

std::string stopped_at_line(std::uint64_t line, std::string_view cause, std::uint64_t firstLine,
                            std::uint64_t records) {
    while (!cause.empty() && cause.back() == '.')
        cause.remove_suffix(1);
    std::string text = "Line " + std::to_string(line) + ": " + shown_message(cause) + ". ";
    const std::string stored =
        " (" + std::to_string(records) + (records == 1 ? " record)." : " records).");
    if (line <= firstLine)
        text += "No line was imported.";
    else if (line == firstLine + 1)
        text += "Line " + std::to_string(firstLine) + " was imported" + stored;
    else
        text += "Lines " + std::to_string(firstLine) + "-" + std::to_string(line - 1) +
                " were imported" + stored;
    return text;
}

}  // namespace vaq::import
