// Every table of the shared corpus read by us and by pxlib: same fields, same record count,
// same record bytes and the same values, except where pxlib is known to be wrong (NULL
// integers, level-3 and some code pages, blobs), where raw bytes and known facts decide.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "engine/format/field_codec.h"
#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "engine/table/tests/pxlib_reader.h"
#include "test_support/corpus.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;

fs::path corpus_dir() {
    return vaq::test_support::corpus_folder();
}

std::vector<fs::path> corpus_tables() {
    std::vector<fs::path> tables;
    for (const auto& entry : fs::recursive_directory_iterator(corpus_dir())) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::toupper);
        if (entry.is_regular_file() && ext == ".DB") tables.push_back(entry.path());
    }
    std::sort(tables.begin(), tables.end());
    return tables;
}

#define SKIP_WITHOUT_CORPUS()                                    \
    if (!fs::is_directory(corpus_dir()))                         \
    GTEST_SKIP() << "The Paradox corpus folder " << corpus_dir() \
                 << " is absent; the corpus tests need ../shared/corpus/paradox."

// Compares one field of one record with pxlib's reading of it.
class FieldComparison {
  public:
    FieldComparison(const Table& table, testing::PxlibTable& px, const Value& ours, char* px_field)
        : table_(table),
          px_(px),
          ours_(ours),
          px_field_(px_field),
          len_(static_cast<int>(ours.field().width())) {}

    void run() {
        switch (ours_.type()) {
            case FieldType::kAlpha:
                return alpha();
            case FieldType::kShort:
                return short_integer();
            case FieldType::kLong:
            case FieldType::kAutoInc:
            case FieldType::kDate:
            case FieldType::kTime:
                return long_integer();
            case FieldType::kNumber:
            case FieldType::kMoney:
            case FieldType::kTimestamp:
                return floating();
            case FieldType::kLogical:
                return logical();
            case FieldType::kBcd:
                return bcd();
            case FieldType::kBytes:
                return bytes();
            default:
                return blob();
        }
    }

  private:
    void alpha() {
        char* value = nullptr;
        const int found = PX_get_data_alpha(px_.doc(), px_field_, len_, &value);
        if (found <= 0 && !ours_.is_null()) {
            // pxlib gives up when the UTF-8 text is longer than the field: our text must
            // convert back to the stored bytes.
            EXPECT_EQ(table_.codec().from_utf8(ours_.as_text()), ours_.alpha_bytes());
            return;
        }
        EXPECT_EQ(found <= 0, ours_.is_null());
        if (found > 0 && px_.converts_text()) {
            EXPECT_EQ(ours_.as_text(), std::string(value));
        } else if (found > 0) {
            // pxlib leaves the bytes unconverted: compare the stored bytes.
            EXPECT_EQ(ours_.alpha_bytes(), std::string(value));
        }
        px_.doc()->free(px_.doc(), value);
    }

    void short_integer() {
        short value = 0;
        const int found = PX_get_data_short(px_.doc(), px_field_, len_, &value);
        EXPECT_EQ(found <= 0, ours_.is_null());
        if (found > 0) {
            EXPECT_EQ(*ours_.integer(), value);
        }
    }

    std::optional<std::int64_t> our_long() const {
        switch (ours_.type()) {
            case FieldType::kDate:
                if (auto d = ours_.day_number()) return *d;
                return std::nullopt;
            case FieldType::kTime:
                if (auto t = ours_.milliseconds()) return *t;
                return std::nullopt;
            default:
                return ours_.integer();
        }
    }

    void long_integer() {
        // pxlib 0.6.8 misreads NULL here: the stored bytes decide NULL.
        const bool stored_null = all_zero(ours_.raw());
        EXPECT_EQ(stored_null, ours_.is_null());
        if (stored_null) return;
        long value = 0;
        PX_get_data_long(px_.doc(), px_field_, len_, &value);
        EXPECT_EQ(*our_long(), value);
    }

    void floating() {
        // pxlib returns NULL doubles as 0 without saying so: the stored bytes decide NULL.
        const bool stored_null = all_zero(ours_.raw());
        EXPECT_EQ(stored_null, ours_.is_null());
        if (stored_null) return;
        double value = 0;
        PX_get_data_double(px_.doc(), px_field_, len_, &value);
        const double mine =
            ours_.type() == FieldType::kTimestamp ? *ours_.timestamp() : *ours_.number();
        EXPECT_EQ(mine, value);
    }

    void logical() {
        char value = 0;
        const int found = PX_get_data_byte(px_.doc(), px_field_, len_, &value);
        EXPECT_EQ(found <= 0, ours_.is_null());
        if (found > 0) {
            EXPECT_EQ(*ours_.logical(), value != 0);
        }
    }

    static bool has_non_decimal_nibble(Bytes field) {
        for (std::size_t i = 1; i < field.size(); ++i)
            if ((field[i] >> 4) > 9 || (field[i] & 0x0F) > 9) return true;
        return false;
    }

    void bcd() {
        const Bytes raw = ours_.raw();
        if (!(raw[0] & 0x40)) {
            // No not-NULL bit: we read NULL; pxlib decodes such bytes to garbage.
            EXPECT_TRUE(ours_.is_null());
            return;
        }
        char* value = nullptr;
        const int found = PX_get_data_bcd(px_.doc(), reinterpret_cast<unsigned char*>(px_field_),
                                          ours_.field().descriptor.bcd_decimals(), &value);
        ASSERT_GT(found, 0);
        const double mine = std::strtod(ours_.decimal_text()->c_str(), nullptr);
        // Nibbles A-F, which the BDE leaves in low digits, come out of pxlib as ':;>?'; the
        // digits before them agree.
        const double theirs = std::strtod(value, nullptr);
        if (has_non_decimal_nibble(raw))
            EXPECT_NEAR(mine, theirs, 1e-15)
                << "ours " << *ours_.decimal_text() << " pxlib " << value;
        else
            EXPECT_DOUBLE_EQ(mine, theirs)
                << "ours " << *ours_.decimal_text() << " pxlib " << value;
        px_.doc()->free(px_.doc(), value);
    }

    void bytes() {
        char* value = nullptr;
        const int found = PX_get_data_bytes(px_.doc(), px_field_, len_, &value);
        if (found > 0 && !ours_.is_null()) {
            const auto mine = ours_.blob();
            EXPECT_EQ(std::string(mine.begin(), mine.end()),
                      std::string(value, static_cast<std::size_t>(len_)));
        }
        if (value != nullptr) px_.doc()->free(px_.doc(), value);
    }

    // pxlib cannot read .MB files: the value must have the length its pointer states and
    // start with the leader's copy of its first bytes.
    void blob() {
        const std::size_t leader = ours_.field().descriptor.blob_leader();
        const BlobPointer pointer = BlobPointer::decode(ours_.raw().data() + leader);
        const auto value = ours_.blob();
        ASSERT_EQ(value.size(), pointer.length);
        // Graphic values start with 01 00 00 01 and u32 length - 8; the leader copies the
        // bytes after that prefix.
        const bool prefixed = value.size() > 8 && value[0] == 1 && value[1] == 0 && value[2] == 0 &&
                              (value[3] == 1 || value[3] == 2) &&
                              load_u32le(value.data() + 4) == value.size() - 8;
        const std::size_t from = prefixed && ours_.type() == FieldType::kGraphic ? 8 : 0;
        const std::size_t copied = std::min<std::size_t>(leader, value.size() - from);
        EXPECT_TRUE(std::equal(value.begin() + static_cast<std::ptrdiff_t>(from),
                               value.begin() + static_cast<std::ptrdiff_t>(from + copied),
                               ours_.raw().begin()))
            << "the leader is not a copy of the value's first bytes";
    }

    const Table& table_;
    testing::PxlibTable& px_;
    const Value& ours_;
    char* px_field_;
    int len_;
};

class CorpusTable : public ::testing::TestWithParam<std::string> {};

TEST(Corpus, HoldsTheTablesItsReadmeLists) {
    SKIP_WITHOUT_CORPUS();
    EXPECT_GE(corpus_tables().size(), 60u);
}

// Every table, every field, every record, against pxlib.
TEST(Corpus, EveryTableReadsAsPxlibReadsIt) {
    SKIP_WITHOUT_CORPUS();
    for (const fs::path& path : corpus_tables()) {
        SCOPED_TRACE(path.string());
        std::shared_ptr<Table> table;
        ASSERT_NO_THROW(table = Table::open_file(path));
        testing::PxlibTable px(path.string());

        const Schema& schema = table->schema();
        ASSERT_EQ(static_cast<int>(schema.size()), px.field_count());
        for (std::size_t i = 0; i < schema.size(); ++i) {
            const pxfield_t& theirs = px.field(static_cast<int>(i));
            EXPECT_EQ(schema[i].stored_name, std::string(theirs.px_fname));
            EXPECT_EQ(static_cast<int>(schema[i].type()),
                      static_cast<unsigned char>(theirs.px_ftype));
            EXPECT_EQ(static_cast<int>(schema[i].width()), theirs.px_flen);
        }
        ASSERT_EQ(static_cast<int>(table->record_count()), px.record_count());

        auto cursor = table->open_cursor();
        int n = 0;
        for (; !cursor->eof(); cursor->next(), ++n) {
            ASSERT_LT(n, px.record_count());
            EXPECT_EQ(static_cast<int>(cursor->record_number()), n + 1);
            char* theirs = px.read_record(n);
            const Bytes mine = cursor->record();
            ASSERT_EQ(0, std::memcmp(mine.data(), theirs, mine.size())) << "record " << n + 1;
            for (std::size_t i = 0; i < schema.size(); ++i) {
                SCOPED_TRACE("record " + std::to_string(n + 1) + " field " + schema[i].name);
                const Value value = cursor->value(i);
                FieldComparison(*table, px, value, theirs + schema[i].offset).run();
                EXPECT_NO_THROW(value.as_text());
            }
        }
        EXPECT_EQ(n, px.record_count());
    }
}

}  // namespace
}  // namespace pdx
