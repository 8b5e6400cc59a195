#include "tutil/auxiliary.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine/api/config.h"
#include "engine/api/engine_error.h"
#include "engine/api/private_folders.h"
#include "engine/format/field_codec.h"
#include "engine/format/file.h"
#include "engine/table/table_admin.h"
#include "engine/table/table_name.h"
#include "tutil/table_file_writer.h"

namespace vaq::tutil {

namespace fs = std::filesystem;

fs::path auxiliary_folder(const fs::path& table) {
    return pdx::subject_folder(table.has_parent_path() ? table.parent_path() : fs::path("."),
                               table.stem().string());
}

fs::path auxiliary_table(const fs::path& folder, std::string_view name, const char* what) {
    const fs::path file(name);
    if (name.empty() || file.has_parent_path() || name.find('\\') != std::string_view::npos ||
        name == "." || name == ".." || !pdx::same_file_name(file.extension().string(), ".DB"))
        throw pdx::EngineError(pdx::DBIERR_INVALIDPARAM,
                               std::string(what) +
                                   " must be a table name ending in .DB, without "
                                   "a folder: " +
                                   std::string(name));
    return folder / file;
}

namespace {

// VERIFY.DB: one record per finding.
//   File     A64  the member of the family ("Door.DB", "Door.PX")
//   Block    I    1-based block of that file, empty when the finding is about no block
//   Record   I    1-based record slot in the block, empty when none
//   Level    S    0 note, 1 error, 2 not checked, 3 to be rebuilt by hand, 4 not a table
//   Problem  A255 what was found
constexpr std::size_t kFileWidth = 64;
constexpr std::size_t kProblemWidth = 255;

pdx::TableSpec findings_spec() {
    pdx::TableSpec spec;
    spec.fields = {{"File", pdx::FieldType::kAlpha, static_cast<int>(kFileWidth)},
                   {"Block", pdx::FieldType::kLong, 0},
                   {"Record", pdx::FieldType::kLong, 0},
                   {"Level", pdx::FieldType::kShort, 0},
                   {"Problem", pdx::FieldType::kAlpha, static_cast<int>(kProblemWidth)}};
    return spec;
}

void put_text(std::string_view text, std::uint8_t* field, std::size_t width) {
    const std::size_t n = std::min(text.size(), width);
    std::memcpy(field, text.data(), n);
    // A NUL inside the text would end it early; none of our messages holds one.
}

}  // namespace

void write_verification(const fs::path& target, const Verification& verification) {
    const pdx::EngineSettings& settings = pdx::current_configuration()->settings();
    const pdx::TableSpec spec = findings_spec();
    const std::string name = target.filename().string();
    const int level = pdx::check_table_spec(
        spec, pdx::CreateOptions{settings.create_level, settings.block_size}, name);
    const pdx::TableHeader header =
        pdx::layout_table(spec, level, settings.block_size, pdx::TableLanguage{}, name);

    const fs::path temporary = target.parent_path() / (".new." + name);
    std::error_code ignored;
    fs::remove(temporary, ignored);
    {
        TableFileWriter writer(temporary, header, std::nullopt);
        std::vector<std::uint8_t> record(header.record_size);
        for (const Finding& f : verification.findings.entries()) {
            std::fill(record.begin(), record.end(), 0);
            std::uint8_t* p = record.data();
            put_text(f.file, p, kFileWidth);
            p += kFileWidth;
            pdx::encode_long(
                f.block ? std::optional(static_cast<std::int32_t>(f.block)) : std::nullopt, p);
            pdx::encode_long(
                f.record ? std::optional(static_cast<std::int32_t>(f.record)) : std::nullopt,
                p + 4);
            pdx::encode_short(static_cast<std::int16_t>(f.weight), p + 8);
            put_text(f.message, p + 10, kProblemWidth);
            writer.add(record);
        }
        writer.finish(0);
    }
    // Files of an older table of that name that the new one does not replace go first.
    for (const auto& entry : fs::directory_iterator(target.parent_path()))
        if (pdx::same_file_name(entry.path().stem().string(), target.stem().string()) &&
            entry.path().filename() != target.filename())
            fs::remove(entry.path());
    pdx::rename_file(temporary, target);
}

}  // namespace vaq::tutil
