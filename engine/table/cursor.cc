#include "engine/table/cursor.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/table/locate.h"
#include "engine/table/table.h"
#include "engine/table/text_fold.h"

namespace pdx {

std::uint32_t Cursor::record_count() const {
    return table_->record_count();
}

void Cursor::no_current_record() const {
    throw vaq::Error("There is no current record in " + table_->name() + ".");
}

Value Cursor::value(std::size_t field_index) const {
    const Field& f = table_->schema()[field_index];
    return Value(*table_, f, record().subspan(f.offset, f.width()));
}

Value Cursor::field(std::string_view name) const {
    const Field& f = table_->schema().field(name, table_->name());
    return Value(*table_, f, record().subspan(f.offset, f.width()));
}

Record Cursor::copy_record() const {
    return Record(table_, record());
}

bool Cursor::locate(std::string_view field_names, std::span<const FieldInput> values,
                    LocateOptions options) {
    const LocateRequest request(*table_, field_names, values, options);
    if (request.cannot_match()) return false;

    const std::uint64_t changes = table_->change_count();
    if (lookup_ && lookup_->serves(request, changes)) {
        if (!lookup_->built()) lookup_->build(*this, request);
        const std::optional<Bookmark> found = lookup_->find(request);
        if (found) go_to(*found);
        return found.has_value();
    }
    // A first locate on these fields scans; a second one builds a lookup for the rest.
    lookup_ = std::make_unique<LocateLookup>(request, changes);

    const Bookmark start = bookmark();
    for (first(); !eof(); next())
        if (request.matches(record())) return true;
    go_to(start);
    return false;
}

void Cursor::forget_lookups() {
    lookup_.reset();
}

Cursor::Cursor(std::shared_ptr<const Table> table) : table_(std::move(table)) {}

Cursor::~Cursor() = default;

}  // namespace pdx
