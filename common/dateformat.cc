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

enum class Field { Day, Month, Year, Hour, Minute, Second, Millisecond, AmPm };

struct Token {
    enum Kind { FieldKind, Separator, Literal } kind = Literal;
    Field field = Field::Day;
    int width = 0;
    std::string literal;
};

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t runLength(std::string_view text, std::size_t pos) {
    const char letter = asciiLower(text[pos]);
    std::size_t end = pos;
    while (end < text.size() && asciiLower(text[end]) == letter)
        ++end;
    return end - pos;
}

// Reads a quoted literal starting at pos (on the quote); returns the position after it.
std::size_t readQuoted(std::string_view format, std::size_t pos, std::vector<Token>& tokens) {
    const char quote = format[pos];
    const std::size_t close = format.find(quote, pos + 1);
    if (close == std::string_view::npos)
        throw Error("Format has a quote that is not closed: " + std::string(format));
    tokens.push_back(
        {Token::Literal, Field::Day, 0, std::string(format.substr(pos + 1, close - pos - 1))});
    return close + 1;
}

void appendLiteral(std::vector<Token>& tokens, char c) {
    if (!tokens.empty() && tokens.back().kind == Token::Literal)
        tokens.back().literal += c;
    else
        tokens.push_back({Token::Literal, Field::Day, 0, std::string(1, c)});
}

std::vector<Token> tokenizeDateFormat(std::string_view format) {
    std::vector<Token> tokens;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const char c = asciiLower(format[pos]);
        if (c == '\'' || c == '"') {
            pos = readQuoted(format, pos, tokens);
        } else if (c == '/') {
            tokens.push_back({Token::Separator, Field::Day, 0, {}});
            ++pos;
        } else if (c == 'd' || c == 'm' || c == 'y') {
            const std::size_t run = runLength(format, pos);
            if (c != 'y' && run > 2)
                throw Error("Date format may only hold numeric day and month fields: " +
                            std::string(format));
            const Field field = c == 'd' ? Field::Day : c == 'm' ? Field::Month : Field::Year;
            const int width = c == 'y' ? (run <= 2 ? 2 : 4) : static_cast<int>(run);
            tokens.push_back({Token::FieldKind, field, width, {}});
            pos += run;
        } else {
            appendLiteral(tokens, format[pos]);
            ++pos;
        }
    }
    return tokens;
}

std::vector<Token> tokenizeTimeFormat(std::string_view format) {
    std::vector<Token> tokens;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const char c = asciiLower(format[pos]);
        if (c == '\'' || c == '"') {
            pos = readQuoted(format, pos, tokens);
        } else if (c == ':') {
            tokens.push_back({Token::Separator, Field::Hour, 0, {}});
            ++pos;
        } else if (iequals(format.substr(pos, 4), "ampm")) {
            tokens.push_back({Token::FieldKind, Field::AmPm, 0, {}});
            pos += 4;
        } else if (c == 'h' || c == 'n' || c == 'm' || c == 's' || c == 'z') {
            const std::size_t run = runLength(format, pos);
            const Field field = c == 'h'   ? Field::Hour
                                : c == 's' ? Field::Second
                                : c == 'z' ? Field::Millisecond
                                           : Field::Minute;
            const int width = field == Field::Millisecond ? (run == 1 ? 1 : 3) : (run == 1 ? 1 : 2);
            tokens.push_back({Token::FieldKind, field, width, {}});
            pos += run;
        } else {
            appendLiteral(tokens, format[pos]);
            ++pos;
        }
    }
    return tokens;
}

int countField(const std::vector<Token>& tokens, Field field) {
    int count = 0;
    for (const Token& token : tokens)
        if (token.kind == Token::FieldKind && token.field == field) ++count;
    return count;
}

bool hasAmPm(const std::vector<Token>& tokens) {
    return countField(tokens, Field::AmPm) > 0;
}

void validateSeparator(char separator, const char* what) {
    const bool printable = separator >= 0x20 && separator < 0x7f;
    if (!printable || isDigit(separator) || isLetter(separator) || separator == '\'' ||
        separator == '"')
        throw Error(std::string(what) +
                    " must be a printable character other than a letter, "
                    "a digit or a quote: '" +
                    std::string(1, separator) + "'");
}

void validateDateFormat(std::string_view format) {
    const auto tokens = tokenizeDateFormat(format);
    for (Field field : {Field::Day, Field::Month, Field::Year})
        if (countField(tokens, field) != 1)
            throw Error("Date format needs one day, one month and one year field: " +
                        std::string(format));
}

void validateTimeFormat(std::string_view format) {
    const auto tokens = tokenizeTimeFormat(format);
    if (countField(tokens, Field::Hour) != 1 || countField(tokens, Field::Minute) != 1)
        throw Error("Time format needs one hour and one minute field: " + std::string(format));
}

// ---- Writing ------------------------------------------------------------------------------

std::string padded(int value, int width) {
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
    return text;
}

std::string renderDate(const Date& date, std::string_view format, char separator) {
    std::string out;
    for (const Token& token : tokenizeDateFormat(format)) {
        switch (token.kind) {
            case Token::Separator:
                out += separator;
                break;
            case Token::Literal:
                out += token.literal;
                break;
            case Token::FieldKind:
                if (token.field == Field::Day) out += padded(date.day, token.width);
                if (token.field == Field::Month) out += padded(date.month, token.width);
                if (token.field == Field::Year)
                    out += token.width == 2 ? padded(date.year % 100, 2) : padded(date.year, 4);
                break;
        }
    }
    return out;
}

std::string renderTime(const Time& time, std::string_view format, const DateTimeFormats& formats) {
    const auto tokens = tokenizeTimeFormat(format);
    const bool twelveHour = hasAmPm(tokens);
    std::string out;
    for (const Token& token : tokens) {
        if (token.kind == Token::Separator) {
            out += formats.timeSeparator;
        } else if (token.kind == Token::Literal) {
            out += token.literal;
        } else {
            switch (token.field) {
                case Field::Hour: {
                    int hour = time.hour;
                    if (twelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
                    out += padded(hour, token.width);
                    break;
                }
                case Field::Minute:
                    out += padded(time.minute, token.width);
                    break;
                case Field::Second:
                    out += padded(time.second, token.width);
                    break;
                case Field::Millisecond:
                    out += padded(time.millisecond, token.width);
                    break;
                case Field::AmPm:
                    out += time.hour < 12 ? formats.timeAmString : formats.timePmString;
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

    bool atEnd() const { return pos_ >= text_.size(); }
    std::size_t position() const { return pos_; }

    std::size_t skipBlanks() {
        const std::size_t start = pos_;
        while (!atEnd() && (text_[pos_] == ' ' || text_[pos_] == '\t'))
            ++pos_;
        return pos_ - start;
    }

    // Digits at the current position; nullopt when there are none or more than maxDigits.
    std::optional<std::pair<int, int>> number(int maxDigits) {
        int value = 0;
        int digits = 0;
        while (!atEnd() && isDigit(text_[pos_])) {
            if (++digits > maxDigits) return std::nullopt;
            value = value * 10 + (text_[pos_] - '0');
            ++pos_;
        }
        if (digits == 0) return std::nullopt;
        return std::make_pair(value, digits);
    }

    // A separator, with blanks allowed around it unless the separator is a blank itself.
    bool separator(char sep) {
        if (sep == ' ') return skipBlanks() > 0;
        const std::size_t saved = pos_;
        skipBlanks();
        if (!atEnd() && text_[pos_] == sep) {
            ++pos_;
            skipBlanks();
            return true;
        }
        pos_ = saved;
        return false;
    }

    bool accept(char c) {
        if (!atEnd() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool acceptWord(std::string_view word) {
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

int expandYear(int value, int digits) {
    if (digits > 2) return value;
    return value < 69 ? 2000 + value : 1900 + value;
}

std::optional<Date> scanDate(Scanner& in, const DateTimeFormats& formats) {
    const auto tokens = tokenizeDateFormat(formats.shortDateFormat);
    std::vector<Field> order;
    for (const Token& token : tokens)
        if (token.kind == Token::FieldKind) order.push_back(token.field);
    const bool trailingSeparator = !tokens.empty() && tokens.back().kind == Token::Separator;

    Date date{0, 0, 0};
    in.skipBlanks();
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && !in.separator(formats.dateSeparator)) return std::nullopt;
        const auto value = in.number(order[i] == Field::Year ? 4 : 2);
        if (!value) return std::nullopt;
        if (order[i] == Field::Day) date.day = value->first;
        if (order[i] == Field::Month) date.month = value->first;
        if (order[i] == Field::Year) date.year = expandYear(value->first, value->second);
    }
    if (trailingSeparator) in.separator(formats.dateSeparator);
    if (!isValidDate(date)) return std::nullopt;
    return date;
}

std::optional<bool> scanAmPm(Scanner& in, const DateTimeFormats& formats) {
    // Both branches are string_views: a conditional between a literal and a std::string
    // would yield a temporary string that dies before the views are read.
    const std::string_view am = formats.timeAmString.empty()
                                    ? std::string_view("AM")
                                    : std::string_view(formats.timeAmString);
    const std::string_view pm = formats.timePmString.empty()
                                    ? std::string_view("PM")
                                    : std::string_view(formats.timePmString);
    if (in.acceptWord(am)) return false;
    if (in.acceptWord(pm)) return true;
    return std::nullopt;
}

std::optional<Time> scanTime(Scanner& in, const DateTimeFormats& formats) {
    in.skipBlanks();
    std::optional<bool> afternoon = scanAmPm(in, formats);
    if (afternoon) in.skipBlanks();

    Time time;
    const auto hour = in.number(2);
    if (!hour || !in.separator(formats.timeSeparator)) return std::nullopt;
    const auto minute = in.number(2);
    if (!minute) return std::nullopt;
    time.hour = hour->first;
    time.minute = minute->first;
    if (in.separator(formats.timeSeparator)) {
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
        const std::size_t blanks = in.skipBlanks();
        afternoon = scanAmPm(in, formats);
        if (!afternoon && blanks > 0) return std::nullopt;
    }
    if (afternoon) {
        if (time.hour < 1 || time.hour > 12) return std::nullopt;
        time.hour = time.hour % 12 + (*afternoon ? 12 : 0);
    }
    if (!isValidTime(time)) return std::nullopt;
    return time;
}

// ---- Deriving formats from locale patterns -----------------------------------------------

// One element of a pattern after translation: a field of our format or one literal byte.
struct Piece {
    std::optional<Field> field;
    int width = 0;
    char literal = 0;
};

std::string quoteLiteral(char c) {
    return c == '\'' ? std::string("\"'\"") : "'" + std::string(1, c) + "'";
}

bool usableSeparator(char c) {
    return c >= 0x20 && c < 0x7f && !isDigit(c) && !isLetter(c) && c != '\'' && c != '"';
}

// The separator is the first literal character after the first field.
char findSeparator(const std::vector<Piece>& pieces, char fallback) {
    bool seenField = false;
    for (const Piece& piece : pieces) {
        if (piece.field) {
            if (seenField) break;
            seenField = true;
        } else if (seenField) {
            return usableSeparator(piece.literal) ? piece.literal : fallback;
        }
    }
    return fallback;
}

std::string fieldLetters(Field field, int width) {
    switch (field) {
        case Field::Day:
            return std::string(static_cast<std::size_t>(width), 'd');
        case Field::Month:
            return std::string(static_cast<std::size_t>(width), 'm');
        case Field::Year:
            return "yyyy";  // two-digit years widened, see the header
        case Field::Hour:
            return std::string(static_cast<std::size_t>(width), 'h');
        case Field::Minute:
            return std::string(static_cast<std::size_t>(width), 'n');
        case Field::Second:
            return std::string(static_cast<std::size_t>(width), 's');
        case Field::Millisecond:
            return width == 1 ? "z" : "zzz";
        case Field::AmPm:
            return "ampm";
    }
    return {};
}

// Builds our format from pieces; symbol is '/' for dates and ':' for times.
std::string assemble(const std::vector<Piece>& pieces, char separator, char symbol) {
    std::string format;
    for (const Piece& piece : pieces) {
        if (piece.field)
            format += fieldLetters(*piece.field, piece.width);
        else if (piece.literal == separator)
            format += symbol;
        else if (isLetter(piece.literal) || piece.literal == symbol || piece.literal == '\'' ||
                 piece.literal == '"' || static_cast<unsigned char>(piece.literal) >= 0x80)
            format += quoteLiteral(piece.literal);
        else
            format += piece.literal;
    }
    return format;
}

// Drops a weekday name together with the literal text that follows it up to the next field.
void dropUntilNextField(std::string_view pattern, std::size_t& pos) {
    while (pos < pattern.size() && pattern[pos] != '%' && !isLetter(pattern[pos]))
        ++pos;
}

void addField(std::vector<Piece>& pieces, Field field, int width) {
    pieces.push_back({field, width, 0});
}

void addLiteral(std::vector<Piece>& pieces, char c) {
    pieces.push_back({std::nullopt, 0, c});
}

// Translates one strftime conversion; false when it has no place in a numeric format.
bool translateStrftime(char conversion, bool noPadding, std::vector<Piece>& out) {
    const int two = noPadding ? 1 : 2;
    switch (conversion) {
        case 'd':
            addField(out, Field::Day, two);
            return true;
        case 'e':
            addField(out, Field::Day, 1);
            return true;
        case 'm':
        case 'b':
        case 'h':
        case 'B':
            addField(out, Field::Month, two);
            return true;
        case 'y':
        case 'Y':
            addField(out, Field::Year, 4);
            return true;
        case 'D':
            return translateStrftime('m', false, out) && (addLiteral(out, '/'), true) &&
                   translateStrftime('d', false, out) && (addLiteral(out, '/'), true) &&
                   translateStrftime('y', false, out);
        case 'F':
            return translateStrftime('Y', false, out) && (addLiteral(out, '-'), true) &&
                   translateStrftime('m', false, out) && (addLiteral(out, '-'), true) &&
                   translateStrftime('d', false, out);
        case 'H':
        case 'I':
            addField(out, Field::Hour, two);
            return true;
        case 'k':
        case 'l':
            addField(out, Field::Hour, 1);
            return true;
        case 'M':
            addField(out, Field::Minute, two);
            return true;
        case 'S':
            addField(out, Field::Second, two);
            return true;
        case 'p':
        case 'P':
            addField(out, Field::AmPm, 0);
            return true;
        case 'T':
            return translateStrftime('H', false, out) && (addLiteral(out, ':'), true) &&
                   translateStrftime('M', false, out) && (addLiteral(out, ':'), true) &&
                   translateStrftime('S', false, out);
        case 'R':
            return translateStrftime('H', false, out) && (addLiteral(out, ':'), true) &&
                   translateStrftime('M', false, out);
        case 'r':
            return translateStrftime('T', false, out) && (addLiteral(out, ' '), true) &&
                   translateStrftime('p', false, out);
        case 'n':
        case 't':
            addLiteral(out, ' ');
            return true;
        case '%':
            addLiteral(out, '%');
            return true;
        default:
            return false;
    }
}

std::optional<std::vector<Piece>> piecesFromStrftime(std::string_view pattern) {
    std::vector<Piece> pieces;
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        if (pattern[pos] != '%') {
            addLiteral(pieces, pattern[pos++]);
            continue;
        }
        ++pos;
        bool noPadding = false;
        while (pos < pattern.size() &&
               (std::string_view("_-0^#EO").find(pattern[pos]) != std::string_view::npos ||
                isDigit(pattern[pos]))) {
            noPadding = noPadding || pattern[pos] == '-';
            ++pos;
        }
        if (pos >= pattern.size()) return std::nullopt;
        const char conversion = pattern[pos++];
        if (conversion == 'a' || conversion == 'A' || conversion == 'Z' || conversion == 'z') {
            dropUntilNextField(pattern, pos);
            continue;
        }
        if (!translateStrftime(conversion, noPadding, pieces)) return std::nullopt;
    }
    return pieces;
}

std::optional<std::vector<Piece>> piecesFromLocalePattern(std::string_view pattern, bool time) {
    std::vector<Piece> pieces;
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        const char c = pattern[pos];
        if (c == '\'') {
            const std::size_t close = pattern.find('\'', pos + 1);
            if (close == std::string_view::npos) return std::nullopt;
            if (close == pos + 1) addLiteral(pieces, '\'');
            for (std::size_t i = pos + 1; i < close; ++i)
                addLiteral(pieces, pattern[i]);
            pos = close + 1;
            continue;
        }
        if (!isLetter(c)) {
            addLiteral(pieces, c);
            ++pos;
            continue;
        }
        std::size_t run = 1;
        while (pos + run < pattern.size() && pattern[pos + run] == c)
            ++run;
        const int width = run == 1 ? 1 : 2;
        pos += run;
        if (!time && c == 'd' && run <= 2) {
            addField(pieces, Field::Day, width);
        } else if (!time && (c == 'd' || c == 'E')) {
            dropUntilNextField(pattern, pos);  // weekday name
        } else if (!time && (c == 'M' || c == 'L')) {
            addField(pieces, Field::Month, run <= 2 ? width : 2);
        } else if (!time && c == 'y') {
            addField(pieces, Field::Year, 4);
        } else if (time && (c == 'h' || c == 'H')) {
            addField(pieces, Field::Hour, width);
        } else if (time && c == 'm') {
            addField(pieces, Field::Minute, width);
        } else if (time && c == 's') {
            addField(pieces, Field::Second, width);
        } else if (time && c == 'z') {
            addField(pieces, Field::Millisecond, run == 1 ? 1 : 3);
        } else if (time && (c == 'a' || c == 'A')) {
            if (pos < pattern.size() && (pattern[pos] == 'p' || pattern[pos] == 'P')) ++pos;
            addField(pieces, Field::AmPm, 0);
        } else if (time && c == 't') {
            while (!pieces.empty() && !pieces.back().field && pieces.back().literal == ' ')
                pieces.pop_back();  // the blank before a time zone name
        } else {
            return std::nullopt;
        }
    }
    return pieces;
}

void applyDatePieces(const std::optional<std::vector<Piece>>& pieces, DateTimeFormats& formats) {
    if (!pieces) return;
    const char separator = findSeparator(*pieces, '/');
    const std::string format = assemble(*pieces, separator, '/');
    try {
        validateDateFormat(format);
    } catch (const Error&) {
        return;  // the pattern names no numeric date; the default stays
    }
    formats.shortDateFormat = format;
    formats.dateSeparator = separator;
}

void applyTimePieces(const std::optional<std::vector<Piece>>& pieces, DateTimeFormats& formats) {
    if (!pieces) return;
    const char separator = findSeparator(*pieces, ':');
    const std::string format = assemble(*pieces, separator, ':');
    try {
        validateTimeFormat(format);
    } catch (const Error&) {
        return;  // the pattern names no hour and minute; the default stays
    }
    formats.longTimeFormat = format;
    formats.timeSeparator = separator;
}

// ---- The process-wide formats -------------------------------------------------------------

struct ProcessFormats {
    std::mutex mutex;
    std::optional<DateTimeFormats> formats;
};

ProcessFormats& processFormats() {
    static ProcessFormats state;
    return state;
}

template <typename Fn>
auto withFormats(Fn&& fn) {
    ProcessFormats& state = processFormats();
    std::lock_guard lock(state.mutex);
    if (!state.formats) state.formats = systemDateTimeFormats();
    return fn(*state.formats);
}

}  // namespace

void validateDateTimeFormats(const DateTimeFormats& formats) {
    validateDateFormat(formats.shortDateFormat);
    validateTimeFormat(formats.longTimeFormat);
    validateSeparator(formats.dateSeparator, "Date separator");
    validateSeparator(formats.timeSeparator, "Time separator");
}

DateTimeFormats formatsFromStrftime(std::string_view datePattern, std::string_view timePattern,
                                    std::string_view amText, std::string_view pmText) {
    DateTimeFormats formats;
    formats.timeAmString = amText;
    formats.timePmString = pmText;
    applyDatePieces(piecesFromStrftime(datePattern), formats);
    applyTimePieces(piecesFromStrftime(timePattern), formats);
    return formats;
}

DateTimeFormats formatsFromLocalePatterns(std::string_view datePattern,
                                          std::string_view timePattern, std::string_view amText,
                                          std::string_view pmText) {
    DateTimeFormats formats;
    formats.timeAmString = amText;
    formats.timePmString = pmText;
    applyDatePieces(piecesFromLocalePattern(datePattern, false), formats);
    applyTimePieces(piecesFromLocalePattern(timePattern, true), formats);
    return formats;
}

DateTimeFormats systemDateTimeFormats() {
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
    return formatsFromStrftime(date, time, am, pm);
}

DateTimeFormats dateTimeFormats() {
    return withFormats([](DateTimeFormats& f) { return f; });
}

void setDateTimeFormats(const DateTimeFormats& formats) {
    validateDateTimeFormats(formats);
    withFormats([&](DateTimeFormats& f) { f = formats; });
}

void resetDateTimeFormatsToSystem() {
    setDateTimeFormats(systemDateTimeFormats());
}

std::string shortDateFormat() {
    return withFormats([](DateTimeFormats& f) { return f.shortDateFormat; });
}

void setShortDateFormat(std::string_view format) {
    validateDateFormat(format);
    withFormats([&](DateTimeFormats& f) { f.shortDateFormat = format; });
}

char dateSeparator() {
    return withFormats([](DateTimeFormats& f) { return f.dateSeparator; });
}

void setDateSeparator(char separator) {
    validateSeparator(separator, "Date separator");
    withFormats([&](DateTimeFormats& f) { f.dateSeparator = separator; });
}

char timeSeparator() {
    return withFormats([](DateTimeFormats& f) { return f.timeSeparator; });
}

void setTimeSeparator(char separator) {
    validateSeparator(separator, "Time separator");
    withFormats([&](DateTimeFormats& f) { f.timeSeparator = separator; });
}

std::string formatDate(const Date& date, const DateTimeFormats& formats) {
    return renderDate(date, formats.shortDateFormat, formats.dateSeparator);
}

std::string formatDate(const Date& date) {
    return formatDate(date, dateTimeFormats());
}

std::string formatDate(const Date& date, std::string_view format) {
    return renderDate(date, format, dateSeparator());
}

std::string formatTime(const Time& time, const DateTimeFormats& formats) {
    return renderTime(time, formats.longTimeFormat, formats);
}

std::string formatTime(const Time& time) {
    return formatTime(time, dateTimeFormats());
}

std::string formatTime(const Time& time, std::string_view format) {
    return renderTime(time, format, dateTimeFormats());
}

std::string formatDateTime(const DateTime& moment) {
    const DateTimeFormats formats = dateTimeFormats();
    return formatDate(moment.date, formats) + " " + formatTime(moment.time, formats);
}

Date parseDate(std::string_view text, const DateTimeFormats& formats) {
    Scanner in(text);
    const auto date = scanDate(in, formats);
    in.skipBlanks();
    if (!date || !in.atEnd()) throw invalid(text, "date");
    return *date;
}

Time parseTime(std::string_view text, const DateTimeFormats& formats) {
    Scanner in(text);
    const auto time = scanTime(in, formats);
    in.skipBlanks();
    if (!time || !in.atEnd()) throw invalid(text, "time");
    return *time;
}

DateTime parseDateTime(std::string_view text, const DateTimeFormats& formats) {
    Scanner in(text);
    const auto date = scanDate(in, formats);
    if (!date) throw invalid(text, "date and time");
    const std::size_t blanks = in.skipBlanks();
    if (in.atEnd()) return DateTime{*date, Time{}};
    const auto time = blanks > 0 ? scanTime(in, formats) : std::nullopt;
    in.skipBlanks();
    if (!time || !in.atEnd()) throw invalid(text, "date and time");
    return DateTime{*date, *time};
}

Date parseDate(std::string_view text) {
    return parseDate(text, dateTimeFormats());
}
Time parseTime(std::string_view text) {
    return parseTime(text, dateTimeFormats());
}
DateTime parseDateTime(std::string_view text) {
    return parseDateTime(text, dateTimeFormats());
}

std::string isoDate(const Date& date) {
    return padded(date.year, 4) + "-" + padded(date.month, 2) + "-" + padded(date.day, 2);
}

std::string isoTime(const Time& time) {
    std::string text =
        padded(time.hour, 2) + ":" + padded(time.minute, 2) + ":" + padded(time.second, 2);
    if (time.millisecond != 0) text += "." + padded(time.millisecond, 3);
    return text;
}

std::string isoDateTime(const DateTime& moment) {
    return isoDate(moment.date) + " " + isoTime(moment.time);
}

namespace {

// Exactly `digits` digits at the scanner's position.
std::optional<int> fixedNumber(Scanner& in, int digits) {
    const std::size_t start = in.position();
    const auto value = in.number(digits);
    if (!value || value->second != digits ||
        in.position() != start + static_cast<std::size_t>(digits))
        return std::nullopt;
    return value->first;
}

std::optional<Date> scanIsoDate(Scanner& in) {
    const auto year = fixedNumber(in, 4);
    if (!year || !in.accept('-')) return std::nullopt;
    const auto month = fixedNumber(in, 2);
    if (!month || !in.accept('-')) return std::nullopt;
    const auto day = fixedNumber(in, 2);
    if (!day || !isValidDate(*year, *month, *day)) return std::nullopt;
    return Date{*year, *month, *day};
}

std::optional<Time> scanIsoTime(Scanner& in) {
    const auto hour = fixedNumber(in, 2);
    if (!hour || !in.accept(':')) return std::nullopt;
    const auto minute = fixedNumber(in, 2);
    if (!minute || !in.accept(':')) return std::nullopt;
    const auto second = fixedNumber(in, 2);
    if (!second) return std::nullopt;
    int millis = 0;
    if (in.accept('.')) {
        const auto fraction = fixedNumber(in, 3);
        if (!fraction) return std::nullopt;
        millis = *fraction;
    }
    if (!isValidTime(*hour, *minute, *second, millis)) return std::nullopt;
    return Time{*hour, *minute, *second, millis};
}

}  // namespace

Date parseIsoDate(std::string_view text) {
    Scanner in(text);
    const auto date = scanIsoDate(in);
    if (!date || !in.atEnd()) throw invalid(text, "date");
    return *date;
}

Time parseIsoTime(std::string_view text) {
    Scanner in(text);
    const auto time = scanIsoTime(in);
    if (!time || !in.atEnd()) throw invalid(text, "time");
    return *time;
}

DateTime parseIsoDateTime(std::string_view text) {
    Scanner in(text);
    const auto date = scanIsoDate(in);
    const bool blank = date && in.accept(' ');
    const auto time = blank ? scanIsoTime(in) : std::nullopt;
    if (!time || !in.atEnd()) throw invalid(text, "date and time");
    return DateTime{*date, *time};
}

}  // namespace vaq
