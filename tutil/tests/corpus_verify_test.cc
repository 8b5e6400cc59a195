// Every real table of the corpus verifies as undamaged: where a table written by the BDE
// trips a check, the check is wrong, not the table. The one exception is a keyed table whose
// primary index was not kept with it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support/corpus.h"
#include "tutil/verifier.h"

namespace fs = std::filesystem;

namespace {

bool is_table_file(const fs::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext == ".DB";
}

std::string describe(const vaq::tutil::Verification& v) {
    std::string text;
    for (const vaq::tutil::Finding& f : v.findings.entries())
        text += "  [" + std::to_string(static_cast<int>(f.weight)) + "] " + f.file + ": " +
                f.message + "\n";
    return text;
}

}  // namespace

TEST(CorpusVerify, EveryUndamagedTableHasNoErrors) {
    const fs::path corpus = vaq::test_support::corpus_folder();
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "The table corpus is not at " << corpus;
    int tables = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || !is_table_file(entry.path())) continue;
        ++tables;
        const vaq::tutil::Verification v = vaq::tutil::verify_table(entry.path());
        const std::string relative = entry.path().lexically_relative(corpus).string();
        // STATES.DB is keyed but its .PX was never published with it.
        const int expected = relative == "paradoxdriver/areas/STATES.DB" ? 1 : 0;
        EXPECT_EQ(v.level, expected) << relative << "\n" << describe(v);
    }
    EXPECT_GE(tables, 60);
}

TEST(CorpusVerify, NotesDoNotRaiseTheLevel) {
    const fs::path table = vaq::test_support::corpus_folder() / "pxlib" / "TypSammlung.DB";
    if (!fs::exists(table))
        GTEST_SKIP() << "The table corpus is not at " << vaq::test_support::corpus_folder();
    const vaq::tutil::Verification v = vaq::tutil::verify_table(table);
    // A stale index that is not maintained, and a date in the year 3033.
    EXPECT_EQ(v.level, 0);
    EXPECT_GE(v.findings.count(vaq::tutil::Weight::kNote), 2u);
    EXPECT_EQ(v.findings.count(vaq::tutil::Weight::kError), 0u);
}
