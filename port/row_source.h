#pragma once

// Rows of one table for a grid that reads them on demand: a view asks only for the rows it
// shows, so a table of a million records opens at once.

#include <cstdint>
#include <string>
#include <vector>

namespace vaq::window {

class RowSource {
  public:
    virtual ~RowSource() = default;

    // Column titles, one per field in table order.
    virtual std::vector<std::string> field_names() const = 0;
    virtual std::int64_t row_count() const = 0;
    // Rows first .. first+count-1 in the table's current order, each field as display text
    // (UTF-8). Fewer rows come back when the table ends earlier. Raises vaq::Error when the
    // rows cannot be read.
    virtual std::vector<std::vector<std::string>> read_rows(std::int64_t first,
                                                            std::int64_t count) const = 0;
    // Changes whenever a row is added, changed or removed, so that a view knows to read again.
    virtual std::uint64_t version() const = 0;
};

}  // namespace vaq::window
