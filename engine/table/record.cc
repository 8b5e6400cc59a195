#include "engine/table/record.h"

#include <stdexcept>

#include "engine/table/table.h"

namespace pdx {

Record Record::blank(std::shared_ptr<const Table> table) {
    const std::vector<std::uint8_t> zeros(table->schema().record_size(), 0);
    return Record(std::move(table), zeros);
}

Record::Record(std::shared_ptr<const Table> table, Bytes bytes)
    : table_(std::move(table)), bytes_(bytes.begin(), bytes.end()) {
    if (bytes_.size() != table_->schema().record_size())
        throw std::logic_error("a record of " + table_->name() + " must be " +
                               std::to_string(table_->schema().record_size()) + " bytes long");
}

Value Record::value(std::size_t field_index) const {
    const Field& f = table_->schema()[field_index];
    return Value(*table_, f, Bytes(bytes_).subspan(f.offset, f.width()));
}

Value Record::field(std::string_view name) const {
    return value(table_->schema().field(name, table_->name()).index);
}

MutableBytes Record::field_bytes(std::size_t field_index) {
    const Field& f = table_->schema()[field_index];
    return MutableBytes(bytes_).subspan(f.offset, f.width());
}

}  // namespace pdx
