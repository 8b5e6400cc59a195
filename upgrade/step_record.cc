#include "upgrade/step_record.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "common/error.h"
#include "engine/format/file.h"

namespace vaq::upgrade {

namespace fs = std::filesystem;

StepRecord::StepRecord(fs::path database_directory)
    : file_(std::move(database_directory) / ".upgrade-step") {}

bool StepRecord::is_unfinished(std::string_view step) const {
    std::ifstream in(file_, std::ios::binary);
    if (!in) return false;
    const std::string recorded{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    for (std::size_t from = 0; from <= recorded.size();) {
        const std::size_t end = std::min(recorded.find('\n', from), recorded.size());
        if (std::string_view(recorded).substr(from, end - from) == step) return true;
        from = end + 1;
    }
    return false;
}

void StepRecord::begin(std::span<const std::string_view> steps) {
    std::string lines;
    for (const std::string_view step : steps) {
        if (!lines.empty()) lines += '\n';
        lines += step;
    }
    begin(std::string_view(lines));
}

void StepRecord::begin(std::string_view step) {
    fs::path temporary = file_;
    temporary += ".new";
    std::error_code ignored;
    fs::remove(temporary, ignored);
    {
        pdx::File out = pdx::File::create(temporary);
        out.write_at(0,
                     pdx::Bytes(reinterpret_cast<const std::uint8_t*>(step.data()), step.size()));
        out.sync();
    }
    pdx::rename_file(temporary, file_);
    pdx::sync_directory(file_.parent_path());
}

void StepRecord::finish() {
    std::error_code error;
    fs::remove(file_, error);
    if (error) throw Error("Cannot remove " + file_.string() + ": " + error.message() + ".");
}

}  // namespace vaq::upgrade
