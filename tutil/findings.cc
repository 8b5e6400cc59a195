#include "tutil/findings.h"

#include <algorithm>

namespace vaq::tutil {

void Findings::add(Finding finding) {
    const auto weight = static_cast<std::size_t>(finding.weight);
    ++by_weight_[weight];
    worst_ = std::max(worst_, finding.weight);
    std::size_t& kept_for_file = kept_per_file_[finding.file];
    if (kept_for_file < kKeptPerFile || finding.weight > Weight::kError) {
        ++kept_for_file;
        kept_.push_back(std::move(finding));
        return;
    }
    ++left_out_per_file_[finding.file];
}

std::vector<Finding> Findings::entries() const {
    std::vector<Finding> all = kept_;
    for (const auto& [file, count] : left_out_per_file_)
        all.push_back({Weight::kNote, file, 0, 0,
                       std::to_string(count) + " more findings of the same kind are not listed."});
    return all;
}

std::size_t Findings::count(Weight weight) const {
    std::size_t total = 0;
    for (std::size_t w = static_cast<std::size_t>(weight); w < 5; ++w)
        total += by_weight_[w];
    return total;
}

}  // namespace vaq::tutil
