// The progress bars of the first page: which report moves which bar, and the callback's
// registration around a library operation.

#include <gtest/gtest.h>

#include <cstddef>

#include "engine/api/callbacks.h"
#include "repair/bde_util.h"
#include "test_support/memory_window.h"

namespace vaq::repair::testing {
namespace {

using window::Control;

ProgressBuffer report(std::uint16_t percent, std::uint8_t phase, window::WindowPort* window) {
    ProgressBuffer buffer{{}, window};
    ProgressRecord& record = buffer.record;
    record[0] = static_cast<std::uint8_t>(percent & 0xff);
    record[1] = static_cast<std::uint8_t>(percent >> 8);
    // Bytes the callback must not read as a phase or percent.
    for (std::size_t i = 2; i < kProgressPhaseByte; ++i)
        record[i] = 0xEE;
    record[kProgressPhaseByte] = phase;
    return buffer;
}

class ProgressTest : public ::testing::Test {
  protected:
    pdx::CBRType send(std::uint16_t percent, std::uint8_t phase,
                      pdx::CBType type = pdx::cbGENPROGRESS) {
        ProgressBuffer buffer = report(percent, phase, &window_);
        return ProgressCallback(type, 77, &buffer);
    }

    test_support::MemoryWindow window_;
};

TEST_F(ProgressTest, EachListedPhaseMovesItsOwnBar) {
    EXPECT_EQ(send(10, 0), pdx::cbrUSEDEF);
    EXPECT_EQ(send(20, 1), pdx::cbrUSEDEF);
    EXPECT_EQ(send(30, 2), pdx::cbrUSEDEF);
    EXPECT_EQ(send(40, 8), pdx::cbrUSEDEF);
    EXPECT_EQ(window_.positionChanges,
              (std::vector<std::pair<Control, int>>{{Control::PBHeader, 10},
                                                    {Control::PBIndexes, 20},
                                                    {Control::PBData, 30},
                                                    {Control::PBRebuild, 40}}));
}

TEST_F(ProgressTest, UnlistedPhasesAndOtherCallbackTypesChangeNothing) {
    for (int phase : {3, 4, 5, 6, 7, 9, 23, 255})
        EXPECT_EQ(send(50, static_cast<std::uint8_t>(phase)), pdx::cbrUSEDEF) << "phase " << phase;
    EXPECT_EQ(send(50, 2, static_cast<pdx::CBType>(22)), pdx::cbrUSEDEF);
    EXPECT_EQ(send(50, 0, static_cast<pdx::CBType>(0)), pdx::cbrUSEDEF);
    EXPECT_TRUE(window_.positionChanges.empty());
}

TEST_F(ProgressTest, PercentIsPassedUnchangedAboveOneHundred) {
    send(150, 2);
    send(0x1234, 8);
    EXPECT_EQ(window_.positionChanges, (std::vector<std::pair<Control, int>>{
                                           {Control::PBData, 150}, {Control::PBRebuild, 0x1234}}));
    // The bars show them at their end.
    EXPECT_EQ(window_.position(Control::PBData), 100);
    EXPECT_EQ(window_.position(Control::PBRebuild), 100);
}

TEST_F(ProgressTest, RegisteredOnlyBetweenRegisterAndUnregister) {
    TBDEUtil util;
    util.ProgressRec.window = &window_;
    pdx::report_progress(nullptr, {60, pdx::kPhaseData, "unseen"});
    EXPECT_TRUE(window_.positionChanges.empty());

    util.RegisterProgress();
    pdx::report_progress(nullptr, {60, pdx::kPhaseData, "a message in the record"});
    pdx::report_progress(nullptr, {5, pdx::kPhaseIndexes, ""});
    // The engine wrote the report into the session object's own buffer.
    EXPECT_EQ(util.ProgressRec[0], 5);
    EXPECT_EQ(util.ProgressRec[kProgressPhaseByte], pdx::kPhaseIndexes);
    util.UnregisterProgress();
    pdx::report_progress(nullptr, {99, pdx::kPhaseHeader, ""});

    EXPECT_EQ(window_.positionChanges, (std::vector<std::pair<Control, int>>{
                                           {Control::PBData, 60}, {Control::PBIndexes, 5}}));
    EXPECT_FALSE(pdx::has_callback(nullptr, pdx::cbGENPROGRESS));
    util.close();
}

TEST_F(ProgressTest, ReportsGoToTheWindowOfTheBufferRegisteredOrNowhere) {
    TBDEUtil util;
    util.RegisterProgress();
    pdx::report_progress(nullptr, {70, pdx::kPhaseData, ""});  // no window given yet
    util.ProgressRec.window = &window_;
    pdx::report_progress(nullptr, {80, pdx::kPhaseRebuild, ""});
    util.UnregisterProgress();
    EXPECT_EQ(window_.positionChanges,
              (std::vector<std::pair<Control, int>>{{Control::PBRebuild, 80}}));
    util.close();
}

TEST(BDEUtilTest, SessionOpensClosesAndReopens) {
    TBDEUtil util;
    const std::uint16_t first = util.SessionHandle;
    EXPECT_NE(first, 0);
    util.reopen();
    EXPECT_NE(util.SessionHandle, 0);
    util.close();
    // A second close is no second TUExit of a handle already closed.
    EXPECT_NO_THROW(util.close());
}

TEST(BDEUtilTest, PropertyLabelsReadTheirFieldsOfTheRecord) {
    tutil::CURProps props{};
    props.iFields = 12;
    props.iRecBufSize = 0x0203;
    props.iRecSize = 999;  // the logical size is not shown
    props.iIndexes = 3;
    props.iValChecks = 0;
    props.iRefIntChecks = 0;
    props.iRestrVersion = 7;
    props.iPasswords = 1;
    props.iCodePage = 1252;
    props.iBlockSize = 4096;
    props.iTblLevel = 7;
    std::vector<std::string> shown;
    for (const PropertyLabel& property : kPropertyLabels)
        shown.push_back(std::string(property.caption) + " " +
                        std::to_string(property_value(props, property.offset)));
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Fields: 12", "Record Size: 515", "Indexes: 3", "Validities: 0",
                         "References: 0", "Restructure Version: 7", "Aux Passwords: 1",
                         "Code Page: 1252", "Block Size: 4096", "Table Level: 7"}));
}

TEST(VerificationMessageTest, EveryLevelHasItsText) {
    EXPECT_EQ(verification_message(0), "Verification Successful. Table has no errors.");
    EXPECT_EQ(verification_message(1), "Verification Successful. Verification completed.");
    EXPECT_EQ(verification_message(2),
              "Verification Successful. Verification could not be completed.");
    EXPECT_EQ(verification_message(3), "Verification Successful. Table must be rebuild manually.");
    EXPECT_EQ(verification_message(4), "Verification Successful. Table cannot be rebuilt.");
    for (std::int32_t other : {5, -1, -2147483647 - 1, 100})
        EXPECT_EQ(verification_message(other), "Verification unsuccessful.");
}

}  // namespace
}  // namespace vaq::repair::testing
