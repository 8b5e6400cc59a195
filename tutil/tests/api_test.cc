// The C-callable interface as its callers use it: sessions by handle, results as codes with
// the message kept, properties read at their byte offsets, descriptor arrays sized from the
// counts, progress through the engine's callback.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/api/callbacks.h"
#include "engine/api/config.h"
#include "engine/api/dbi.h"
#include "engine/api/engine_error.h"
#include "engine/api/private_folders.h"
#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "engine/table/tests/generated_family.h"
#include "tests/support.h"
#include "tutil/tutil.h"

namespace vaq::tutil {
namespace {

using namespace tutil::testing;

// The engine configuration for a test: its private directory in a temporary folder.
class PrivateDir {
  public:
    PrivateDir() {
        pdx::use_configuration(pdx::Configuration::from_text(
            "[engine]\nprivate_dir = " + (dir_ / "private").string() + "\n", dir_.path(), "test"));
    }
    ~PrivateDir() { pdx::reload_configuration(); }
    fs::path operator/(const std::string& name) const { return dir_ / "private" / name; }

  private:
    TempDir dir_;
};

class Session {
  public:
    Session() { EXPECT_EQ(TUInit(&handle_), 0); }
    ~Session() { TUExit(handle_); }
    hTUses handle() const { return handle_; }

  private:
    hTUses handle_ = 0;
};

std::uint16_t u16_at_offset(const CURProps& props, std::size_t offset) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&props);
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// A keyed family with two secondary indexes, a memo file and a validity file, written by
// the engine into `into`.
fs::path written_family(const fs::path& into) {
    return pdx::testing::copy_of_family("Players", 300, 2048, true, into);
}

TEST(TableUtilitySessions, HandlesOpenAndClose) {
    hTUses first = 0;
    hTUses second = 0;
    ASSERT_EQ(TUInit(&first), 0);
    ASSERT_EQ(TUInit(&second), 0);
    EXPECT_NE(first, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(TUExit(first), 0);
    EXPECT_EQ(TUExit(first), pdx::DBIERR_INVALIDHNDL);
    EXPECT_NE(pdx::last_error_message().find("is not open"), std::string::npos);
    CURProps props{};
    EXPECT_EQ(TUFillCURProps(first, "x.DB", &props), pdx::DBIERR_INVALIDHNDL);
    EXPECT_EQ(TUExit(second), 0);
    EXPECT_EQ(TUInit(nullptr), pdx::DBIERR_INVALIDPARAM);
}

TEST(TableUtilityProperties, TenPropertiesAtTheirOffsets) {
    SKIP_WITHOUT_CORPUS();
    Session session;
    CURProps props{};
    const fs::path table = corpus_dir() / "paradox-reader/zakazky.db";
    ASSERT_EQ(TUFillCURProps(session.handle(), table.c_str(), &props), 0);
    EXPECT_EQ(u16_at_offset(props, 295), 20);    // fields
    EXPECT_EQ(u16_at_offset(props, 299), 139);   // record size
    EXPECT_EQ(u16_at_offset(props, 303), 2);     // .PX and .XG0
    EXPECT_EQ(u16_at_offset(props, 305), 0);     // validity checks
    EXPECT_EQ(u16_at_offset(props, 307), 0);     // references
    EXPECT_EQ(u16_at_offset(props, 335), 91);    // restructure version (family stamp)
    EXPECT_EQ(u16_at_offset(props, 345), 0);     // aux passwords
    EXPECT_EQ(u16_at_offset(props, 347), 1252);  // code page
    EXPECT_EQ(u16_at_offset(props, 351), 5);     // table level
    EXPECT_EQ(u16_at_offset(props, 387), 2048);  // block size
    EXPECT_STREQ(props.szTableType, "PARADOX");
    EXPECT_STREQ(props.szName, table.c_str());
    EXPECT_EQ(+props.bIndexed, 1);
}

// The same offsets on a family the engine wrote: a level-7 keyed table of 2 KiB blocks with
// a primary and two secondary indexes.
TEST(TableUtilityProperties, TenPropertiesOfAWrittenTable) {
    Session session;
    TempDir data;
    CURProps props{};
    const fs::path table = written_family(data.path());
    ASSERT_EQ(TUFillCURProps(session.handle(), table.c_str(), &props), 0);
    EXPECT_EQ(u16_at_offset(props, 295), 7);     // fields
    EXPECT_EQ(u16_at_offset(props, 299), 167);   // record size
    EXPECT_EQ(u16_at_offset(props, 303), 3);     // .PX, .X06 and .XG0
    EXPECT_EQ(u16_at_offset(props, 305), 0);     // validity checks
    EXPECT_EQ(u16_at_offset(props, 307), 0);     // references
    EXPECT_EQ(u16_at_offset(props, 351), 7);     // table level
    EXPECT_EQ(u16_at_offset(props, 387), 2048);  // block size
    EXPECT_STREQ(props.szName, table.c_str());
    EXPECT_EQ(+props.bIndexed, 1);
}

TEST(TableUtilityProperties, ValidityChecksAndLinksComeFromTheValFile) {
    SKIP_WITHOUT_CORPUS();
    Session session;
    CURProps props{};
    const fs::path zipcodes = corpus_dir() / "paradoxdriver/areas/ZIPCODES.DB";
    ASSERT_EQ(TUFillCURProps(session.handle(), zipcodes.c_str(), &props), 0);
    EXPECT_EQ(+props.iValChecks, 2);
    EXPECT_EQ(+props.iRefIntChecks, 0);
    EXPECT_EQ(+props.iTblLevel, 4);
    const fs::path c = corpus_dir() / "paradoxdriver/joins/C.DB";  // refers to A and B
    ASSERT_EQ(TUFillCURProps(session.handle(), c.c_str(), &props), 0);
    EXPECT_EQ(+props.iRefIntChecks, 2);
    EXPECT_EQ(+props.iIndexes, 3);                                           // .PX, .X02, .X03
    const fs::path states = corpus_dir() / "paradoxdriver/areas/STATES.DB";  // level 3.0
    ASSERT_EQ(TUFillCURProps(session.handle(), states.c_str(), &props), 0);
    EXPECT_EQ(+props.iTblLevel, 3);
    EXPECT_EQ(+props.iBlockSize, 1024);
    EXPECT_EQ(+props.iCodePage, 0);
}

TEST(TableUtilityProperties, UnreadableTableIsAResultNotACrash) {
    Session session;
    TempDir dir;
    CURProps props{};
    EXPECT_EQ(TUFillCURProps(session.handle(), (dir / "None.DB").c_str(), &props),
              pdx::DBIERR_OBJNOTFOUND);
    EXPECT_NE(pdx::last_error_message().find("Table does not exist"), std::string::npos);
    write_file(dir / "Bad.DB", std::vector<std::uint8_t>(10, 1));
    EXPECT_NE(TUFillCURProps(session.handle(), (dir / "Bad.DB").c_str(), &props), 0);
    EXPECT_NE(pdx::last_error_message().find("Bad.DB"), std::string::npos);
}

// What a rebuild prepares: counts, arrays of count times element size, the fill.
TEST(TableUtilityDescription, CountsSizeTheArraysTheFillFills) {
    SKIP_WITHOUT_CORPUS();
    Session session;
    const fs::path table = corpus_dir() / "paradox-reader/zakazky.db";
    std::uint16_t counts[7] = {9, 9, 9, 9, 9, 9, 9};
    ASSERT_EQ(TUGetCRTblDescCount(session.handle(), table.c_str(), &counts[0], &counts[1],
                                  &counts[2], &counts[3], &counts[4], &counts[5], &counts[6]),
              0);
    EXPECT_EQ(counts[0], 20);
    EXPECT_EQ(counts[1], 2);
    for (int i = 2; i < 7; ++i)
        EXPECT_EQ(counts[i], 0) << i;

    CRTblDesc desc{};
    std::strcpy(desc.szTblName, table.c_str());
    std::strcpy(desc.szTblType, "PARADOX");
    std::strcpy(desc.szErrTblName, "Rebuild.DB");
    desc.iFldCount = counts[0];
    desc.iIdxCount = counts[1];
    std::vector<std::uint8_t> fields(counts[0] * sizeof(FLDDesc));
    std::vector<std::uint8_t> indexes(counts[1] * sizeof(IDXDesc));
    desc.pfldDesc = reinterpret_cast<FLDDesc*>(fields.data());
    desc.pidxDesc = reinterpret_cast<IDXDesc*>(indexes.data());
    ASSERT_EQ(TUFillCRTblDesc(session.handle(), &desc, table.c_str(), nullptr), 0);

    const FLDDesc& first = desc.pfldDesc[0];
    EXPECT_STREQ(first.szName, "CisloMereni");
    EXPECT_EQ(+first.iFldType, fldINT32);
    EXPECT_EQ(+first.iSubType, fldstAUTOINC);
    const FLDDesc& typl = desc.pfldDesc[6];
    EXPECT_STREQ(typl.szName, "TYPL");
    EXPECT_EQ(+typl.iFldType, fldZSTRING);
    EXPECT_EQ(+typl.iUnits1, 25);
    EXPECT_EQ(+typl.iOffset, 30);
    EXPECT_EQ(+desc.pfldDesc[19].iFldType, fldTIMESTAMP);

    const IDXDesc& primary = desc.pidxDesc[0];
    EXPECT_EQ(+primary.bPrimary, 1);
    EXPECT_EQ(+primary.iFldsInKey, 1);
    EXPECT_EQ(+primary.aiKeyFld[0], 1);
    const IDXDesc& composite = desc.pidxDesc[1];
    EXPECT_STREQ(composite.szName, "zakazky.XG0");
    EXPECT_EQ(+composite.bPrimary, 0);
    EXPECT_EQ(+composite.bMaintained, 1);
    EXPECT_EQ(+composite.bCaseInsensitive, 1);
    EXPECT_EQ(+composite.iFldsInKey, 6);
    const std::uint16_t expected_fields[] = {2, 3, 4, 5, 7, 11};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(+composite.aiKeyFld[i], expected_fields[i]);

    // A description sized for another table is refused.
    desc.iIdxCount = 1;
    EXPECT_EQ(TUFillCRTblDesc(session.handle(), &desc, table.c_str(), nullptr),
              pdx::DBIERR_INVALIDPARAM);
    EXPECT_NE(pdx::last_error_message().find("indexes"), std::string::npos);
}

// --- verify through the interface ---

std::vector<pdx::ProgressReport> g_reports;
pdx::CBRType record_progress(pdx::CBType type, std::uint32_t, void* info) {
    if (type == pdx::cbGENPROGRESS) {
        pdx::ProgressRecord record;
        std::memcpy(record.data(), info, record.size());
        g_reports.push_back(pdx::decode_progress(record));
    }
    return pdx::cbrUSEDEF;
}

TEST(TableUtilityVerify, LevelAndProgressThroughTheEngineCallback) {
    PrivateDir private_dir;
    TempDir data;
    Session session;
    std::uint8_t buffer[pdx::kProgressRecordSize];
    ASSERT_EQ(pdx::DbiRegisterCallBack(nullptr, pdx::cbGENPROGRESS, 0, sizeof buffer, buffer,
                                       record_progress),
              0);
    g_reports.clear();
    std::int32_t level = -1;
    const fs::path table = written_family(data.path());
    EXPECT_EQ(
        TUVerifyTable(session.handle(), table.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &level),
        0);
    pdx::DbiRegisterCallBack(nullptr, pdx::cbGENPROGRESS, 0, sizeof buffer, buffer, nullptr);
    EXPECT_EQ(level, 0);
    for (int phase : {0, 1, 2}) {
        bool done = false;
        for (const auto& r : g_reports) {
            EXPECT_LE(r.percent, 100);
            done = done || (r.phase == phase && r.percent == 100);
        }
        EXPECT_TRUE(done) << "phase " << phase;
    }
    EXPECT_TRUE(fs::is_directory(private_dir / pdx::database_id(table.parent_path()) / "Players"));
}

TEST(TableUtilityVerify, FindingsGoToTheErrorTable) {
    PrivateDir private_dir;
    TempDir data;
    const fs::path table = written_family(data.path());
    patch(table, [](std::vector<std::uint8_t>& b) { set_u32(b, 0x06, 301); });
    Session session;
    std::int32_t level = -1;
    ASSERT_EQ(
        TUVerifyTable(session.handle(), table.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &level),
        0)
        << pdx::last_error_message();
    EXPECT_EQ(level, 1);
    const fs::path verify_table =
        private_dir / pdx::database_id(data.path()) / "Players" / "VERIFY.DB";
    const auto findings = pdx::Table::open_file(verify_table);
    std::vector<std::string> lines;
    for (auto c = findings->open_cursor(); !c->eof(); c->next())
        lines.push_back(c->field("File").as_text() + "|" + c->field("Block").as_text() + "|" +
                        c->field("Level").as_text() + "|" + c->field("Problem").as_text());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0],
              table.filename().string() +
                  "||1|The header counts 301 records but the chain of data blocks holds 300.");
    // A second verify replaces the table; a clean table leaves it empty.
    written_family(data.path());
    ASSERT_EQ(
        TUVerifyTable(session.handle(), table.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &level),
        0);
    EXPECT_EQ(level, 0);
    EXPECT_EQ(pdx::Table::open_file(verify_table)->record_count(), 0u);
}

TEST(TableUtilityVerify, BadArgumentsAreResults) {
    PrivateDir private_dir;
    TempDir data;
    Session session;
    std::int32_t level = -1;
    const fs::path table = written_family(data.path());
    EXPECT_EQ(
        TUVerifyTable(session.handle(), table.c_str(), "DBASE", "VERIFY.DB", nullptr, 0, &level),
        pdx::DBIERR_NOTSUPPORTED);
    EXPECT_EQ(TUVerifyTable(session.handle(), table.c_str(), "PARADOX", "../VERIFY.DB", nullptr, 0,
                            &level),
              pdx::DBIERR_INVALIDPARAM);
    EXPECT_NE(pdx::last_error_message().find("without a folder"), std::string::npos);
    EXPECT_EQ(
        TUVerifyTable(session.handle(), table.c_str(), "PARADOX", "VERIFY.DB", nullptr, 3, &level),
        pdx::DBIERR_INVALIDPARAM);
    EXPECT_EQ(TUVerifyTable(session.handle(), "/nonexistent/T.DB", "PARADOX", "VERIFY.DB", nullptr,
                            0, &level),
              pdx::DBIERR_OBJNOTFOUND);
    EXPECT_EQ(level, -1);
}

}  // namespace
}  // namespace vaq::tutil
