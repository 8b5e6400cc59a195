#include "common/dateformat.h"

#include <langinfo.h>
#include <locale.h>

#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "common/error.h"
#include "common/text.h"

namespace vaq {

namespace {

// ---- Format tokens ------------------------------------------------------------------------

enum class Field { kDay, kMonth, kYear, kHour, kMinute, kSecond, kMillisecond, kAmPm };

struct Token {
    enum Kind { kField, kSeparator, kLiteral } kind = kLiteral;
    Field field = Field::kDay;
    int width = 0;
    std::string literal;
};

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t run_length(std::string_view text, std::size_t pos) {
    const char letter = ascii_lower(text[pos]);
    std::size_t end = pos;
    while (end < text.size() && ascii_lower(text[end]) == letter)
        ++end;
    return end - pos;
}

// Reads a quoted literal starting at pos (on the quote); returns the position after it.
std::size_t read_quoted(std::string_view format, std::size_t pos, std::vector<Token>& tokens) {
    const char quote = format[pos];
    const std::size_t close = format.find(quote, pos + 1);
    if (close == std::string_view::npos)
        throw Error("Format has a quote that is not closed: " + std::string(format));
    tokens.push_back(
        {Token::kLiteral, Field::kDay, 0, std::string(format.substr(pos + 1, close - pos - 1))});
    return close + 1;
}

void append_literal(std::vector<Token>& tokens, char c) {
    if (!tokens.empty() && tokens.back().kind == Token::kLiteral)
        tokens.back().literal += c;
    else
        tokens.push_back({Token::kLiteral, Field::kDay, 0, std::string(1, c)});
}

std::vector<Token> tokenize_date_format(std::string_view format) {
    std::vector<Token> tokens;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const char c = ascii_lower(format[pos]);
        if (c == '\'' || c == '"') {
            pos = read_quoted(format, pos, tokens);
        } else if (c == '/') {
            tokens.push_back({Token::kSeparator, Field::kDay, 0, {}});
            ++pos;
        } else if (c == 'd' || c == 'm' || c == 'y') {
            const std::size_t run = run_length(format, pos);
            if (c != 'y' && run > 2)
                throw Error("Date format may only hold numeric day and month fields: " +
                            std::string(format));
            const Field field = c == 'd' ? Field::kDay : c == 'm' ? Field::kMonth : Field::kYear;
            const int width = c == 'y' ? (run <= 2 ? 2 : 4) : static_cast<int>(run);
            tokens.push_back({Token::kField, field, width, {}});
            pos += run;
        } else {
            append_literal(tokens, format[pos]);
            ++pos;
        }
    }
    return tokens;
}

std::vector<Token> tokenize_time_format(std::string_view format) {
    std::vector<Token> tokens;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const char c = ascii_lower(format[pos]);
        if (c == '\'' || c == '"') {
            pos = read_quoted(format, pos, tokens);
        } else if (c == ':') {
            tokens.push_back({Token::kSeparator, Field::kHour, 0, {}});
            ++pos;
        } else if (iequals(format.substr(pos, 4), "ampm")) {
            tokens.push_back({Token::kField, Field::kAmPm, 0, {}});
            pos += 4;
        } else if (c == 'h' || c == 'n' || c == 'm' || c == 's' || c == 'z') {
            const std::size_t run = run_length(format, pos);
            const Field field = c == 'h'   ? Field::kHour
                                : c == 's' ? Field::kSecond
                                : c == 'z' ? Field::kMillisecond
                                           : Field::kMinute;
            const int width =
                field == Field::kMillisecond ? (run == 1 ? 1 : 3) : (run == 1 ? 1 : 2);
            tokens.push_back({Token::kField, field, width, {}});
            pos += run;
        } else {
            append_literal(tokens, format[pos]);
            ++pos;
        }
    }
    return tokens;
}

int count_field(const std::vector<Token>& tokens, Field field) {
    int count = 0;
    for (const Token& token : tokens)
        if (token.kind == Token::kField && token.field == field) ++count;
    return count;
}

bool has_am_pm(const std::vector<Token>& tokens) {
    return count_field(tokens, Field::kAmPm) > 0;
}

void validate_separator(char separator, const char* what) {
    const bool printable = separator >= 0x20 && separator < 0x7f;
    if (!printable || is_digit(separator) || is_letter(separator) || separator == '\'' ||
        separator == '"')
        throw Error(std::string(what) +
                    " must be a printable character other than a letter, "
                    "a digit or a quote: '" +
                    std::string(1, separator) + "'");
}

void validate_date_format(std::string_view format) {
    const auto tokens = tokenize_date_format(format);
    for (Field field : {Field::kDay, Field::kMonth, Field::kYear})
        if (count_field(tokens, field) != 1)
            throw Error("Date format needs one day, one month and one year field: " +
                        std::string(format));
}

void validate_time_format(std::string_view format) {
    const auto tokens = tokenize_time_format(format);
    if (count_field(tokens, Field::kHour) != 1 || count_field(tokens, Field::kMinute) != 1)
        throw Error("Time format needs one hour and one minute field: " + std::string(format));
}

// ---- Writing ------------------------------------------------------------------------------

std::string padded(int value, int width) {
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
    return text;
}

std::string render_date(const Date& date, std::string_view format, char separator) {
    std::string out;
    for (const Token& token : tokenize_date_format(format)) {
        switch (token.kind) {
            case Token::kSeparator:
                out += separator;
                break;
            case Token::kLiteral:
                out += token.literal;
                break;
            case Token::kField:
                if (token.field == Field::kDay) out += padded(date.day, token.width);
                if (token.field == Field::kMonth) out += padded(date.month, token.width);
                if (token.field == Field::kYear)
                    out += token.width == 2 ? padded(date.year % 100, 2) : padded(date.year, 4);
                break;
        }
    }
    return out;
}

std::string render_time(const Time& time, std::string_view format, const DateTimeFormats& formats) {
    const auto tokens = tokenize_time_format(format);
    const bool twelveHour = has_am_pm(tokens);
    std::string out;
    for (const Token& token : tokens) {
        if (token.kind == Token::kSeparator) {
            out += formats.time_separator;
        } else if (token.kind == Token::kLiteral) {
            out += token.literal;
        } else {
            switch (token.field) {
                case Field::kHour: {
                    int hour = time.hour;
                    if (twelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
                    out += padded(hour, token.width);
                    break;
                }
                case Field::kMinute:
                    out += padded(time.minute, token.width);
                    break;
                case Field::kSecond:
                    out += padded(time.second, token.width);
                    break;
                case Field::kMillisecond:
                    out += padded(time.millisecond, token.width);
                    break;
                case Field::kAmPm:
                    out += time.hour < 12 ? formats.time_am_string : formats.time_pm_string;
                    break;
                default:
                    break;
            }
        }
    }
    return out;
}

// ---- Reading ------------------------------------------------------------------------------

class Scanner {
  public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool at_end() const { return pos_ >= text_.size(); }
    std::size_t position() const { return pos_; }

    std::size_t skip_blanks() {
        const std::size_t start = pos_;
        while (!at_end() && (text_[pos_] == ' ' || text_[pos_] == '\t'))
            ++pos_;
        return pos_ - start;
    }

    // Digits at the current position; nullopt when there are none or more than maxDigits.
    std::optional<std::pair<int, int>> number(int maxDigits) {
        int value = 0;
        int digits = 0;
        while (!at_end() && is_digit(text_[pos_])) {
            if (++digits > maxDigits) return std::nullopt;
            value = value * 10 + (text_[pos_] - '0');
            ++pos_;
        }
        if (digits == 0) return std::nullopt;
        return std::make_pair(value, digits);
    }

    // A separator, with blanks allowed around it unless the separator is a blank itself.
    bool separator(char sep) {
        if (sep == ' ') return skip_blanks() > 0;
        const std::size_t saved = pos_;
        skip_blanks();
        if (!at_end() && text_[pos_] == sep) {
            ++pos_;
            skip_blanks();
            return true;
        }
        pos_ = saved;
        return false;
    }

    bool accept(char c) {
        if (!at_end() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool accept_word(std::string_view word) {
        if (word.empty() || !iequals(text_.substr(pos_, word.size()), word)) return false;
        pos_ += word.size();
        return true;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

Error invalid(std::string_view text, const char* what) {
    return Error("'" + std::string(text) + "' is not a valid " + what);
}

int expand_year(int value, int digits) {
    if (digits > 2) return value;
    return value < 69 ? 2000 + value : 1900 + value;
}

std::optional<Date> scan_date(Scanner& in, const DateTimeFormats& formats) {
    const auto tokens = tokenize_date_format(formats.short_date_format);
    std::vector<Field> order;
    for (const Token& token : tokens)
        if (token.kind == Token::kField) order.push_back(token.field);
    const bool trailingSeparator = !tokens.empty() && tokens.back().kind == Token::kSeparator;

    Date date{0, 0, 0};
    in.skip_blanks();
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && !in.separator(formats.date_separator)) return std::nullopt;
        const auto value = in.number(order[i] == Field::kYear ? 4 : 2);
        if (!value) return std::nullopt;
        if (order[i] == Field::kDay) date.day = value->first;
        if (order[i] == Field::kMonth) date.month = value->first;
        if (order[i] == Field::kYear) date.year = expand_year(value->first, value->second);
    }
    if (trailingSeparator) in.separator(formats.date_separator);
    if (!is_valid_date(date)) return std::nullopt;
    return date;
}

std::optional<bool> scan_am_pm(Scanner& in, const DateTimeFormats& formats) {
    // Both branches are string_views: a conditional between a literal and a std::string
    // would yield a temporary string that dies before the views are read.
    const std::string_view am = formats.time_am_string.empty()
                                    ? std::string_view("AM")
                                    : std::string_view(formats.time_am_string);
    const std::string_view pm = formats.time_pm_string.empty()
                                    ? std::string_view("PM")
                                    : std::string_view(formats.time_pm_string);
    if (in.accept_word(am)) return false;
    if (in.accept_word(pm)) return true;
    return std::nullopt;
}

std::optional<Time> scan_time(Scanner& in, const DateTimeFormats& formats) {
    in.skip_blanks();
    std::optional<bool> afternoon = scan_am_pm(in, formats);
    if (afternoon) in.skip_blanks();

    Time time;
    const auto hour = in.number(2);
    if (!hour || !in.separator(formats.time_separator)) return std::nullopt;
    const auto minute = in.number(2);
    if (!minute) return std::nullopt;
    time.hour = hour->first;
    time.minute = minute->first;
    if (in.separator(formats.time_separator)) {
        const auto second = in.number(2);
        if (!second) return std::nullopt;
        time.second = second->first;
        if (in.accept('.')) {
            const auto fraction = in.number(3);
            if (!fraction) return std::nullopt;
            int millis = fraction->first;
            for (int d = fraction->second; d < 3; ++d)
                millis *= 10;
            time.millisecond = millis;
        }
    }
    if (!afternoon) {
        const std::size_t blanks = in.skip_blanks();
        afternoon = scan_am_pm(in, formats);
        if (!afternoon && blanks > 0) return std::nullopt;
    }
    if (afternoon) {
        if (time.hour < 1 || time.hour > 12) return std::nullopt;
        time.hour = time.hour % 12 + (*afternoon ? 12 : 0);
    }
    if (!is_valid_time(time)) return std::nullopt;
    return time;
}

// ---- Deriving formats from locale patterns -----------------------------------------------

// One element of a pattern after translation: a field of our format or one literal byte.
struct Piece {
    std::optional<Field> field;
    int width = 0;
    char literal = 0;
};

std::string quote_literal(char c) {
    return c == '\'' ? std::string("\"'\"") : "'" + std::string(1, c) + "'";
}

bool usable_separator(char c) {
    return c >= 0x20 && c < 0x7f && !is_digit(c) && !is_letter(c) && c != '\'' && c != '"';
}

// The separator is the first literal character after the first field.
char find_separator(const std::vector<Piece>& pieces, char fallback) {
    bool seenField = false;
    for (const Piece& piece : pieces) {
        if (piece.field) {
            if (seenField) break;
            seenField = true;
        } else if (seenField) {
            return usable_separator(piece.literal) ? piece.literal : fallback;
        }
    }
    return fallback;
}

std::string field_letters(Field field, int width) {
    switch (field) {
        case Field::kDay:
            return std::string(static_cast<std::size_t>(width), 'd');
        case Field::kMonth:
            return std::string(static_cast<std::size_t>(width), 'm');
        case Field::kYear:
            return "yyyy";  // two-digit years widened, see the header
        case Field::kHour:
            return std::string(static_cast<std::size_t>(width), 'h');
        case Field::kMinute:
            return std::string(static_cast<std::size_t>(width), 'n');
        case Field::kSecond:
            return std::string(static_cast<std::size_t>(width), 's');
        case Field::kMillisecond:
            return width == 1 ? "z" : "zzz";
        case Field::kAmPm:
            return "ampm";
    }
    return {};
}

// Builds our format from pieces; symbol is '/' for dates and ':' for times.
std::string assemble(const std::vector<Piece>& pieces, char separator, char symbol) {
    std::string format;
    for (const Piece& piece : pieces) {
        if (piece.field)
            format += field_letters(*piece.field, piece.width);
        else if (piece.literal == separator)
            format += symbol;
        else if (is_letter(piece.literal) || piece.literal == symbol || piece.literal == '\'' ||
                 piece.literal == '"' || static_cast<unsigned char>(piece.literal) >= 0x80)
            format += quote_literal(piece.literal);
        else
            format += piece.literal;
    }
    return format;
}

// Drops a weekday name together with the literal text that follows it up to the next field.
void drop_until_next_field(std::string_view pattern, std::size_t& pos) {
    while (pos < pattern.size() && pattern[pos] != '%' && !is_letter(pattern[pos]))
        ++pos;
}

void add_field(std::vector<Piece>& pieces, Field field, int width) {
    pieces.push_back({field, width, 0});
}

void add_literal(std::vector<Piece>& pieces, char c) {
    pieces.push_back({std::nullopt, 0, c});
}

// Translates one strftime conversion; false when it has no place in a numeric format.
bool translate_strftime(char conversion, bool noPadding, std::vector<Piece>& out) {
    const int two = noPadding ? 1 : 2;
    switch (conversion) {
        case 'd':
            add_field(out, Field::kDay, two);
            return true;
        case 'e':
            add_field(out, Field::kDay, 1);
            return true;
        case 'm':
        case 'b':
        case 'h':
        case 'B':
            add_field(out, Field::kMonth, two);
            return true;
        case 'y':
        case 'Y':
            add_field(out, Field::kYear, 4);
            return true;
        case 'D':
            return translate_strftime('m', false, out) && (add_literal(out, '/'), true) &&
                   translate_strftime('d', false, out) && (add_literal(out, '/'), true) &&
                   translate_strftime('y', false, out);
        case 'F':
            return translate_strftime('Y', false, out) && (add_literal(out, '-'), true) &&
                   translate_strftime('m', false, out) && (add_literal(out, '-'), true) &&
                   translate_strftime('d', false, out);
        case 'H':
        case 'I':
            add_field(out, Field::kHour, two);
            return true;
        case 'k':
        case 'l':
            add_field(out, Field::kHour, 1);
            return true;
        case 'M':
            add_field(out, Field::kMinute, two);
            return true;
        case 'S':
            add_field(out, Field::kSecond, two);
            return true;
        case 'p':
        case 'P':
            add_field(out, Field::kAmPm, 0);
            return true;
        case 'T':
            return translate_strftime('H', false, out) && (add_literal(out, ':'), true) &&
                   translate_strftime('M', false, out) && (add_literal(out, ':'), true) &&
                   translate_strftime('S', false, out);
        case 'R':
            return translate_strftime('H', false, out) && (add_literal(out, ':'), true) &&
                   translate_strftime('M', false, out);
        case 'r':
            return translate_strftime('T', false, out) && (add_literal(out, ' '), true) &&
                   translate_strftime('p', false, out);
        case 'n':
        case 't':
            add_literal(out, ' ');
            return true;
        case '%':
            add_literal(out, '%');
            return true;
        default:
            return false;
    }
}

std::optional<std::vector<Piece>> pieces_from_strftime(std::string_view pattern) {
    std::vector<Piece> pieces;
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        if (pattern[pos] != '%') {
            add_literal(pieces, pattern[pos++]);
            continue;
        }
        ++pos;
        bool noPadding = false;
        while (pos < pattern.size() &&
               (std::string_view("_-0^#EO").find(pattern[pos]) != std::string_view::npos ||
                is_digit(pattern[pos]))) {
            noPadding = noPadding || pattern[pos] == '-';
            ++pos;
        }
        if (pos >= pattern.size()) return std::nullopt;
        const char conversion = pattern[pos++];
        if (conversion == 'a' || conversion == 'A' || conversion == 'Z' || conversion == 'z') {
            drop_until_next_field(pattern, pos);
            continue;
        }
        if (!translate_strftime(conversion, noPadding, pieces)) return std::nullopt;
    }
    return pieces;
}

std::optional<std::vector<Piece>> pieces_from_locale_pattern(std::string_view pattern, bool time) {
    std::vector<Piece> pieces;
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        const char c = pattern[pos];
        if (c == '\'') {
            const std::size_t close = pattern.find('\'', pos + 1);
            if (close == std::string_view::npos) return std::nullopt;
            if (close == pos + 1) add_literal(pieces, '\'');
            for (std::size_t i = pos + 1; i < close; ++i)
                add_literal(pieces, pattern[i]);
            pos = close + 1;
            continue;
        }
        if (!is_letter(c)) {
            add_literal(pieces, c);
            ++pos;
            continue;
        }
        std::size_t run = 1;
        while (pos + run < pattern.size() && pattern[pos + run] == c)
            ++run;
        const int width = run == 1 ? 1 : 2;
        pos += run;
        if (!time && c == 'd' && run <= 2) {
            add_field(pieces, Field::kDay, width);
        } else if (!time && (c == 'd' || c == 'E')) {
            drop_until_next_field(pattern, pos);  // weekday name
        } else if (!time && (c == 'M' || c == 'L')) {
            add_field(pieces, Field::kMonth, run <= 2 ? width : 2);
        } else if (!time && c == 'y') {
            add_field(pieces, Field::kYear, 4);
        } else if (time && (c == 'h' || c == 'H')) {
            add_field(pieces, Field::kHour, width);
        } else if (time && c == 'm') {
            add_field(pieces, Field::kMinute, width);
        } else if (time && c == 's') {
            add_field(pieces, Field::kSecond, width);
        } else if (time && c == 'z') {
            add_field(pieces, Field::kMillisecond, run == 1 ? 1 : 3);
        } else if (time && (c == 'a' || c == 'A')) {
            if (pos < pattern.size() && (pattern[pos] == 'p' || pattern[pos] == 'P')) ++pos;
            add_field(pieces, Field::kAmPm, 0);
        } else if (time && c == 't') {
            while (!pieces.empty() && !pieces.back().field && pieces.back().literal == ' ')
                pieces.pop_back();  // the blank before a time zone name
        } else {
            return std::nullopt;
        }
    }
    return pieces;
}

void apply_date_pieces(const std::optional<std::vector<Piece>>& pieces, DateTimeFormats& formats) {
    if (!pieces) return;
    const char separator = find_separator(*pieces, '/');
    const std::string format = assemble(*pieces, separator, '/');
    try {
        validate_date_format(format);
    } catch (const Error&) {
        return;  // the pattern names no numeric date; the default stays
    }
    formats.short_date_format = format;
    formats.date_separator = separator;
}

void apply_time_pieces(const std::optional<std::vector<Piece>>& pieces, DateTimeFormats& formats) {
    if (!pieces) return;
    const char separator = find_separator(*pieces, ':');
    const std::string format = assemble(*pieces, separator, ':');
    try {
        validate_time_format(format);
    } catch (const Error&) {
        return;  // the pattern names no hour and minute; the default stays
    }
    formats.long_time_format = format;
    formats.time_separator = separator;
}

// ---- The process-wide formats -------------------------------------------------------------

struct ProcessFormats {
    std::mutex mutex;
    std::optional<DateTimeFormats> formats;
};

ProcessFormats& process_formats() {
    static ProcessFormats state;
    return state;
}

template <typename Fn>
auto with_formats(Fn&& fn) {
    ProcessFormats& state = process_formats();
    std::lock_guard lock(state.mutex);
    if (!state.formats) state.formats = system_date_time_formats();
    return fn(*state.formats);
}

}  // namespace

void validate_date_time_formats(const DateTimeFormats& formats) {
    validate_date_format(formats.short_date_format);
    validate_time_format(formats.long_time_format);
    validate_separator(formats.date_separator, "Date separator");
    validate_separator(formats.time_separator, "Time separator");
}

DateTimeFormats formats_from_strftime(std::string_view datePattern, std::string_view timePattern,
                                      std::string_view amText, std::string_view pmText) {
    DateTimeFormats formats;
    formats.time_am_string = amText;
    formats.time_pm_string = pmText;
    apply_date_pieces(pieces_from_strftime(datePattern), formats);
    apply_time_pieces(pieces_from_strftime(timePattern), formats);
    return formats;
}

DateTimeFormats formats_from_locale_patterns(std::string_view datePattern,
                                             std::string_view timePattern, std::string_view amText,
                                             std::string_view pmText) {
    DateTimeFormats formats;
    formats.time_am_string = amText;
    formats.time_pm_string = pmText;
    apply_date_pieces(pieces_from_locale_pattern(datePattern, false), formats);
    apply_time_pieces(pieces_from_locale_pattern(timePattern, true), formats);
    return formats;
}

DateTimeFormats system_date_time_formats() {
    // A locale object of its own, so that the global locale of the program stays untouched.
    locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return DateTimeFormats{};
    const std::string date = nl_langinfo_l(D_FMT, locale);
    const std::string time = nl_langinfo_l(T_FMT, locale);
    const std::string am = nl_langinfo_l(AM_STR, locale);
    const std::string pm = nl_langinfo_l(PM_STR, locale);
    freelocale(locale);
    return formats_from_strftime(date, time, am, pm);
}

DateTimeFormats date_time_formats() {
    return with_formats([](DateTimeFormats& f) { return f; });
}

void set_date_time_formats(const DateTimeFormats& formats) {
    validate_date_time_formats(formats);
    with_formats([&](DateTimeFormats& f) { f = formats; });
}

void reset_date_time_formats_to_system() {
    set_date_time_formats(system_date_time_formats());
}

std::string short_date_format() {
    return with_formats([](DateTimeFormats& f) { return f.short_date_format; });
}

void set_short_date_format(std::string_view format) {
    validate_date_format(format);
    with_formats([&](DateTimeFormats& f) { f.short_date_format = format; });
}

char date_separator() {
    return with_formats([](DateTimeFormats& f) { return f.date_separator; });
}

void set_date_separator(char separator) {
    validate_separator(separator, "Date separator");
    with_formats([&](DateTimeFormats& f) { f.date_separator = separator; });
}

char time_separator() {
    return with_formats([](DateTimeFormats& f) { return f.time_separator; });
}

void set_time_separator(char separator) {
    validate_separator(separator, "Time separator");
    with_formats([&](DateTimeFormats& f) { f.time_separator = separator; });
}

std::string format_date(const Date& date, const DateTimeFormats& formats) {
    return render_date(date, formats.short_date_format, formats.date_separator);
}

std::string format_date(const Date& date) {
    return format_date(date, date_time_formats());
}

std::string format_date(const Date& date, std::string_view format) {
    return render_date(date, format, date_separator());
}

std::string format_time(const Time& time, const DateTimeFormats& formats) {
    return render_time(time, formats.long_time_format, formats);
}

std::string format_time(const Time& time) {
    return format_time(time, date_time_formats());
}

std::string format_time(const Time& time, std::string_view format) {
    return render_time(time, format, date_time_formats());
}

std::string format_date_time(const DateTime& moment) {
    const DateTimeFormats formats = date_time_formats();
    return format_date(moment.date, formats) + " " + format_time(moment.time, formats);
}

Date parse_date(std::string_view text, const DateTimeFormats& formats) {
    Scanner in(text);
    const auto date = scan_date(in, formats);
    in.skip_blanks();
    if (!date || !in.at_end()) throw invalid(text, "date");
    return *date;
}

Time parse_time(std::string_view text, const DateTimeFormats& formats) {
    Scanner in(text);
    const auto time = scan_time(in, formats);
    in.skip_blanks();
    if (!time || !in.at_end()) throw invalid(text, "time");
    return *time;
}

DateTime parse_date_time(std::string_view text, const DateTimeFormats& formats) {
    Scanner in(text);
    const auto date = scan_date(in, formats);
    if (!date) throw invalid(text, "date and time");
    const std::size_t blanks = in.skip_blanks();
    if (in.at_end()) return DateTime{*date, Time{}};
    const auto time = blanks > 0 ? scan_time(in, formats) : std::nullopt;
    in.skip_blanks();
    if (!time || !in.at_end()) throw invalid(text, "date and time");
    return DateTime{*date, *time};
}

Date parse_date(std::string_view text) {
    return parse_date(text, date_time_formats());
}
Time parse_time(std::string_view text) {
    return parse_time(text, date_time_formats());
}
DateTime parse_date_time(std::string_view text) {
    return parse_date_time(text, date_time_formats());
}

std::string iso_date(const Date& date) {
    return padded(date.year, 4) + "-" + padded(date.month, 2) + "-" + padded(date.day, 2);
}

std::string iso_time(const Time& time) {
    std::string text =
        padded(time.hour, 2) + ":" + padded(time.minute, 2) + ":" + padded(time.second, 2);
    if (time.millisecond != 0) text += "." + padded(time.millisecond, 3);
    return text;
}

std::string iso_date_time(const DateTime& moment) {
    return iso_date(moment.date) + " " + iso_time(moment.time);
}

namespace {

// Exactly `digits` digits at the scanner's position.
std::optional<int> fixed_number(Scanner& in, int digits) {
    const std::size_t start = in.position();
    const auto value = in.number(digits);
    if (!value || value->second != digits ||
        in.position() != start + static_cast<std::size_t>(digits))
        return std::nullopt;
    return value->first;
}

std::optional<Date> scan_iso_date(Scanner& in) {
    const auto year = fixed_number(in, 4);
    if (!year || !in.accept('-')) return std::nullopt;
    const auto month = fixed_number(in, 2);
    if (!month || !in.accept('-')) return std::nullopt;
    const auto day = fixed_number(in, 2);
    if (!day || !is_valid_date(*year, *month, *day)) return std::nullopt;
    return Date{*year, *month, *day};
}

std::optional<Time> scan_iso_time(Scanner& in) {
    const auto hour = fixed_number(in, 2);
    if (!hour || !in.accept(':')) return std::nullopt;
    const auto minute = fixed_number(in, 2);
    if (!minute || !in.accept(':')) return std::nullopt;
    const auto second = fixed_number(in, 2);
    if (!second) return std::nullopt;
    int millis = 0;
    if (in.accept('.')) {
        const auto fraction = fixed_number(in, 3);
        if (!fraction) return std::nullopt;
        millis = *fraction;
    }
    if (!is_valid_time(*hour, *minute, *second, millis)) return std::nullopt;
    return Time{*hour, *minute, *second, millis};
}

}  // namespace

Date parse_iso_date(std::string_view text) {
    Scanner in(text);
    const auto date = scan_iso_date(in);
    if (!date || !in.at_end()) throw invalid(text, "date");
    return *date;
}

Time parse_iso_time(std::string_view text) {
    Scanner in(text);
    const auto time = scan_iso_time(in);
    if (!time || !in.at_end()) throw invalid(text, "time");
    return *time;
}

DateTime parse_iso_date_time(std::string_view text) {
    Scanner in(text);
    const auto date = scan_iso_date(in);
    const bool blank = date && in.accept(' ');
    const auto time = blank ? scan_iso_time(in) : std::nullopt;
    if (!time || !in.at_end()) throw invalid(text, "date and time");
    return DateTime{*date, *time};
}

}  // namespace vaq
