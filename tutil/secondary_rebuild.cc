#include "tutil/secondary_rebuild.h"

#include <optional>
#include <string>

#include "common/error.h"
#include "engine/format/block_file.h"
#include "engine/format/format_error.h"
#include "engine/format/text_codec.h"
#include "engine/table/secondary_index_build.h"
#include "engine/table/table.h"

namespace vaq::tutil {

namespace fs = std::filesystem;

namespace {

// How the old index was defined, from its X header; for a single-field index whose header
// is lost, from its file name (an .Xnn index orders by field nn, case-sensitive, ascending).
std::optional<pdx::SecondaryIndexDefinition> definition_of(const SecondaryFiles& files,
                                                           const pdx::TableHeader& table) {
    pdx::SecondaryIndexDefinition d;
    d.maintained = table.file_type == pdx::FileType::kKeyedTable;
    d.composite = files.suffix.composite;
    d.number = files.suffix.number;
    if (files.index) {
        try {
            const pdx::BlockFile x = pdx::BlockFile::open(*files.index);
            const auto layout =
                pdx::SecondaryIndexLayout::decode(x.header(), table.key_fields, x.name());
            bool any_marked = false;
            for (const pdx::IndexedField& f : layout.fields)
                any_marked = any_marked || f.descending;
            for (pdx::IndexedField f : layout.fields) {
                if (f.table_field == 0 || f.table_field > table.fields.size())
                    throw pdx::FormatError(x.name() + " indexes a field the table lacks.");
                // A descending index without marked fields orders every field downwards.
                if (layout.descending && !any_marked) f.descending = true;
                d.fields.push_back(f);
            }
            d.case_insensitive = layout.case_insensitive;
            d.stored_name = layout.stored_name;
            d.maintained = d.maintained && (layout.maintained || table.key_fields > 0);
            return d;
        } catch (const vaq::Error&) {
            // Fall back on the file name below.
        }
    }
    if (files.suffix.composite || files.suffix.number == 0 ||
        files.suffix.number > table.fields.size())
        return std::nullopt;
    d.fields.push_back({static_cast<std::uint16_t>(files.suffix.number), false});
    return d;
}

std::string index_name(const pdx::SecondaryIndexDefinition& d, const pdx::TableHeader& table) {
    const pdx::TextCodec codec(pdx::charset_of(table));
    if (d.composite) return codec.to_utf8(d.stored_name);
    return codec.to_utf8(table.fields[d.fields.front().table_field - 1].name);
}

// The fields an index was on, as far as its tree tells: a Y file's header lists the types of
// the X file's key, the indexed fields first, then (for an index the table keeps up to date)
// the table's key fields or (for one it does not) the record's position. Each indexed field
// is named by the table's fields of its type and size.
std::vector<std::string> fields_from_tree(const SecondaryFiles& files,
                                          const pdx::TableHeader& table) {
    std::vector<std::string> names;
    if (!files.tree) return names;
    try {
        const pdx::BlockFile y = pdx::BlockFile::open(*files.tree);
        const auto& key = y.header().fields;
        const std::size_t trailing = table.key_fields > 0 ? table.key_fields : 2;
        if (key.size() <= trailing) return names;
        const pdx::TextCodec codec(pdx::charset_of(table));
        for (std::size_t i = 0; i + trailing < key.size(); ++i) {
            std::string alike;
            for (const pdx::FieldDef& f : table.fields)
                if (f.descriptor == key[i].descriptor)
                    alike += (alike.empty() ? "" : " or ") + codec.to_utf8(f.name);
            names.push_back(alike.empty() ? "a field the table lacks" : alike);
        }
    } catch (const vaq::Error&) {
        names.clear();
    }
    return names;
}

}  // namespace

std::vector<DroppedIndex> rebuild_secondary_indexes(const TableFamily& old_family,
                                                    const fs::path& new_table,
                                                    const fs::path& folder) {
    std::vector<DroppedIndex> dropped;
    if (old_family.secondary.empty()) return dropped;
    const std::shared_ptr<pdx::Table> table = pdx::Table::open_file(new_table);
    const pdx::TableHeader& header = table->header();
    for (const SecondaryFiles& files : old_family.secondary) {
        const auto definition = definition_of(files, header);
        // An index whose definition is lost with its header is left out; the backup keeps it.
        if (!definition) {
            const std::string x_name = files.index
                                           ? files.index->filename().string()
                                           : pdx::index_file_name(old_family.table, files.suffix);
            dropped.push_back({x_name, fields_from_tree(files, header),
                               files.index ? "its file " + x_name + " cannot be read"
                                           : "its file " + x_name + " is missing"});
            continue;
        }
        const pdx::IndexSuffix suffix = definition->suffix();
        const std::string x_name = files.index ? files.index->filename().string()
                                               : pdx::index_file_name(new_table, suffix);
        const std::string y_name =
            files.tree ? files.tree->filename().string() : pdx::tree_file_name(new_table, suffix);
        pdx::write_secondary_index(*table, *definition, index_name(*definition, header),
                                   folder / x_name, folder / y_name);
    }
    return dropped;
}

}  // namespace vaq::tutil
