#include "tutil/family.h"

#include <algorithm>

#include "common/text.h"
#include "engine/table/table_name.h"

namespace vaq::tutil {

namespace fs = std::filesystem;

namespace {

SecondaryFiles& secondary_entry(TableFamily& family, const pdx::IndexSuffix& suffix) {
    auto it = std::find_if(family.secondary.begin(), family.secondary.end(),
                           [&](const SecondaryFiles& s) { return s.suffix.text == suffix.text; });
    if (it != family.secondary.end()) return *it;
    family.secondary.push_back({suffix, std::nullopt, std::nullopt});
    return family.secondary.back();
}

}  // namespace

TableFamily TableFamily::of(const fs::path& table) {
    TableFamily family;
    family.table = table;
    const std::string stem = table.stem().string();
    const fs::path directory = table.has_parent_path() ? table.parent_path() : fs::path(".");
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        if (!entry.is_regular_file()) continue;
        const fs::path& path = entry.path();
        if (!pdx::same_file_name(path.stem().string(), stem)) continue;
        const std::string extension = vaq::ascii_upper(path.extension().string());
        if (extension == ".LCK") continue;
        family.members.push_back(path);
        if (extension == ".PX")
            family.primary_index = path;
        else if (extension == ".MB")
            family.blobs = path;
        else if (extension == ".VAL")
            family.validity = path;
        else if (extension.size() >= 4 && extension[1] == 'Y') {
            std::string as_index = extension;
            as_index[1] = 'X';
            if (auto suffix = pdx::IndexSuffix::parse(as_index))
                secondary_entry(family, *suffix).tree = path;
        } else if (auto suffix = pdx::IndexSuffix::parse(extension)) {
            secondary_entry(family, *suffix).index = path;
        }
    }
    std::sort(family.secondary.begin(), family.secondary.end(),
              [](const SecondaryFiles& a, const SecondaryFiles& b) {
                  return a.suffix.text < b.suffix.text;
              });
    std::sort(family.members.begin(), family.members.end());
    return family;
}

}  // namespace vaq::tutil
