#pragma once

// Where the tests find the real tables of the shared corpus: the folder the build was
// configured with (VAQ_CORPUS_DIR), unless the environment variable VAQ_CORPUS_DIR names
// another. Pointed at a missing folder, the tests run as they do in a fresh clone without
// the corpus: the corpus tests skip and say why.

#include <cstdlib>
#include <filesystem>

namespace vaq::test_support {

inline std::filesystem::path corpus_folder() {
    if (const char* chosen = std::getenv("VAQ_CORPUS_DIR"); chosen != nullptr && *chosen != '\0')
        return chosen;
    return VAQ_CORPUS_DIR;
}

inline bool have_corpus() {
    return std::filesystem::is_directory(corpus_folder());
}

}  // namespace vaq::test_support
