#include "tools/vaqdb/output.h"

#include <algorithm>

#include "tools/vaqdb/csv.h"

namespace vaq::shell {

std::size_t display_width(const std::string& text) {
    std::size_t width = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
    return width;
}

namespace {

class CsvPrinter final : public RowPrinter {
  public:
    CsvPrinter(std::ostream& out, bool headers) : csv_(out), headers_(headers) {}
    void begin(const std::vector<std::string>& names, const std::vector<bool>&) override {
        if (headers_) csv_.write_row(names);
    }
    void row(const std::vector<std::string>& values) override { csv_.write_row(values); }
    void end() override {}

  private:
    CsvWriter csv_;
    bool headers_;
};

// Holds the rows until the end, for the widths of the columns.
class TablePrinter final : public RowPrinter {
  public:
    TablePrinter(std::ostream& out, bool headers) : out_(out), headers_(headers) {}
    void begin(const std::vector<std::string>& names, const std::vector<bool>& numeric) override {
        names_ = names;
        numeric_ = numeric;
        widths_.assign(names.size(), 0);
        if (headers_)
            for (std::size_t i = 0; i < names.size(); ++i)
                widths_[i] = display_width(names[i]);
    }
    void row(const std::vector<std::string>& values) override {
        for (std::size_t i = 0; i < values.size() && i < widths_.size(); ++i)
            widths_[i] = std::max(widths_[i], display_width(one_line(values[i])));
        rows_.push_back(values);
    }
    void end() override {
        rule();
        if (headers_) {
            line(names_, false);
            rule();
        }
        for (const std::vector<std::string>& values : rows_)
            line(values, true);
        if (!rows_.empty()) rule();
    }

  private:
    // Line breaks in a value would break the table; they show as blanks.
    static std::string one_line(std::string text) {
        std::replace(text.begin(), text.end(), '\n', ' ');
        std::replace(text.begin(), text.end(), '\r', ' ');
        return text;
    }
    void rule() {
        for (const std::size_t width : widths_)
            out_ << '+' << std::string(width + 2, '-');
        out_ << "+\n";
    }
    void line(const std::vector<std::string>& values, bool align_numbers) {
        for (std::size_t i = 0; i < widths_.size(); ++i) {
            const std::string text = i < values.size() ? one_line(values[i]) : std::string();
            const std::string pad(widths_[i] - display_width(text), ' ');
            out_ << "| " << (align_numbers && numeric_[i] ? pad + text : text + pad) << ' ';
        }
        out_ << "|\n";
    }

    std::ostream& out_;
    bool headers_;
    std::vector<std::string> names_;
    std::vector<bool> numeric_;
    std::vector<std::size_t> widths_;
    std::vector<std::vector<std::string>> rows_;
};

class LinePrinter final : public RowPrinter {
  public:
    explicit LinePrinter(std::ostream& out) : out_(out) {}
    void begin(const std::vector<std::string>& names, const std::vector<bool>&) override {
        names_ = names;
        for (const std::string& name : names)
            width_ = std::max(width_, display_width(name));
    }
    void row(const std::vector<std::string>& values) override {
        if (rows_++ > 0) out_ << '\n';
        for (std::size_t i = 0; i < names_.size(); ++i)
            out_ << std::string(width_ - display_width(names_[i]), ' ') << names_[i] << " = "
                 << (i < values.size() ? values[i] : std::string()) << '\n';
    }
    void end() override {}

  private:
    std::ostream& out_;
    std::vector<std::string> names_;
    std::size_t width_ = 0;
    std::size_t rows_ = 0;
};

}  // namespace

std::unique_ptr<RowPrinter> make_row_printer(const ShellContext& context) {
    switch (context.mode) {
        case OutputMode::kTable:
            return std::make_unique<TablePrinter>(context.out, context.headers);
        case OutputMode::kLine:
            return std::make_unique<LinePrinter>(context.out);
        case OutputMode::kCsv:
            break;
    }
    return std::make_unique<CsvPrinter>(context.out, context.headers);
}

}  // namespace vaq::shell
