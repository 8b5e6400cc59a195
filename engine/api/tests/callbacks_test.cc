#include "engine/api/callbacks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/api/cursor.h"

namespace pdx {
namespace {

struct Seen {
    CBType type;
    std::uint32_t clientData;
    ProgressReport report;
};

std::vector<Seen>& seen() {
    static std::vector<Seen> calls;
    return calls;
}

CBRType recording_callback(CBType type, std::uint32_t clientData, void* info) {
    ProgressRecord record;
    std::memcpy(record.data(), info, record.size());
    seen().push_back({type, clientData, decode_progress(record)});
    return cbrCONTINUE;
}

class ProgressCallbacks : public ::testing::Test {
  protected:
    void SetUp() override { seen().clear(); }
    void TearDown() override {
        DbiRegisterCallBack(nullptr, cbGENPROGRESS, 0, 0, nullptr, nullptr);
    }
};

TEST(ProgressRecordLayout, PercentAtTheStartPhaseAtByte263) {
    const ProgressRecord record = encode_progress({0x1234, kPhaseRebuild, "Rebuilding Door.DB"});
    EXPECT_EQ(record.size(), 268u);
    EXPECT_EQ(record[0], 0x34);
    EXPECT_EQ(record[1], 0x12);
    EXPECT_EQ(record[263], 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record[2])), "Rebuilding Door.DB");
    for (std::size_t i = 264; i < 268; ++i)
        EXPECT_EQ(record[i], 0) << i;

    const ProgressReport longMessage{100, kPhaseData, std::string(400, 'x')};
    const ProgressReport back = decode_progress(encode_progress(longMessage));
    EXPECT_EQ(back.message.size(), kProgressMessageCapacity);  // cut, never past the phase
    EXPECT_EQ(back.phase, kPhaseData);
    EXPECT_EQ(back.percent, 100);
}

TEST_F(ProgressCallbacks, ReportsGoToTheRegisteredBufferAndCallback) {
    ProgressRecord buffer{};
    ASSERT_EQ(
        DbiRegisterCallBack(nullptr, cbGENPROGRESS, 77, 268, buffer.data(), recording_callback),
        DBIERR_NONE);
    EXPECT_TRUE(has_callback(nullptr, cbGENPROGRESS));
    EXPECT_EQ(report_progress(nullptr, {42, kPhaseIndexes, ""}), cbrCONTINUE);
    ASSERT_EQ(seen().size(), 1u);
    EXPECT_EQ(seen()[0].type, cbGENPROGRESS);
    EXPECT_EQ(seen()[0].clientData, 77u);
    EXPECT_EQ(seen()[0].report, (ProgressReport{42, kPhaseIndexes, ""}));
    EXPECT_EQ(decode_progress(buffer).percent, 42);  // the caller's buffer holds the record

    ASSERT_EQ(DbiRegisterCallBack(nullptr, cbGENPROGRESS, 0, 268, buffer.data(), nullptr),
              DBIERR_NONE);
    EXPECT_FALSE(has_callback(nullptr, cbGENPROGRESS));
    EXPECT_EQ(report_progress(nullptr, {50, kPhaseData, ""}), cbrUSEDEF);
    EXPECT_EQ(seen().size(), 1u);
}

TEST_F(ProgressCallbacks, RefusesABufferTooSmallForTheRecord) {
    std::uint8_t small[100]{};
    EXPECT_EQ(
        DbiRegisterCallBack(nullptr, cbGENPROGRESS, 0, sizeof small, small, recording_callback),
        DBIERR_INVALIDPARAM);
    EXPECT_EQ(last_error_message(), "Progress callback needs a buffer of 268 bytes, got 100");
    EXPECT_EQ(DbiRegisterCallBack(nullptr, cbGENPROGRESS, 0, 268, nullptr, recording_callback),
              DBIERR_INVALIDPARAM);
    EXPECT_FALSE(has_callback(nullptr, cbGENPROGRESS));
}

class EmptyCursor : public DbiCursor {
  public:
    bool next_record(void*) override { return false; }
};

TEST_F(ProgressCallbacks, ACursorsOwnCallbackComesFirstAndClosesWithIt) {
    ProgressRecord global{}, own{};
    hDBICur cursor = register_cursor(std::make_unique<EmptyCursor>());
    ASSERT_EQ(
        DbiRegisterCallBack(nullptr, cbGENPROGRESS, 1, 268, global.data(), recording_callback),
        DBIERR_NONE);
    ASSERT_EQ(DbiRegisterCallBack(cursor, cbGENPROGRESS, 2, 268, own.data(), recording_callback),
              DBIERR_NONE);
    report_progress(cursor, {10, kPhaseHeader, ""});
    report_progress(nullptr, {20, kPhaseHeader, ""});
    hDBICur closed = cursor;
    ASSERT_EQ(DbiCloseCursor(&cursor), DBIERR_NONE);
    EXPECT_FALSE(has_callback(closed, cbGENPROGRESS));
    ASSERT_EQ(seen().size(), 2u);
    EXPECT_EQ(seen()[0].clientData, 2u);
    EXPECT_EQ(seen()[1].clientData, 1u);
    EXPECT_EQ(DbiRegisterCallBack(closed, cbGENPROGRESS, 2, 268, own.data(), recording_callback),
              DBIERR_INVALIDHNDL);
}

CBRType unregistering_callback(CBType, std::uint32_t, void*) {
    // Removing the registration from inside the callback must not deadlock.
    DbiRegisterCallBack(nullptr, cbGENPROGRESS, 0, 0, nullptr, nullptr);
    return cbrABORT;
}

TEST_F(ProgressCallbacks, ACallbackMayRemoveItself) {
    ProgressRecord buffer{};
    ASSERT_EQ(
        DbiRegisterCallBack(nullptr, cbGENPROGRESS, 0, 268, buffer.data(), unregistering_callback),
        DBIERR_NONE);
    EXPECT_EQ(report_progress(nullptr, {1, kPhaseHeader, ""}), cbrABORT);
    EXPECT_FALSE(has_callback(nullptr, cbGENPROGRESS));
}

}  // namespace
}  // namespace pdx
