#include "upgrade/column_blocks.h"

#include <array>
#include <string>

#include "common/error.h"

namespace vaq::upgrade {

namespace {

constexpr GroupRow alter(std::string_view tested, std::string_view statement, OptionalText update,
                         OptionalText log) {
    return {tested, statement, update, log, std::nullopt};
}

// A row that runs AddFieldIfMissing with q1 instead of an ALTER of its own; the call logs
// its own generic line.
constexpr GroupRow add_field(std::string_view table, std::string_view column,
                             std::string_view type) {
    return {column, {}, std::nullopt, std::nullopt, AddFieldCall{table, column, type}};
}

constexpr auto none = std::nullopt;

// "update ctrller set PanicPIN='" followed by the default panic PIN and "'".
constexpr std::string_view kPanicPinUpdatePrefix = "update ctrller set PanicPIN='";
constexpr auto kPanicPinUpdateText = [] {
    std::array<char, kPanicPinUpdatePrefix.size() + kDefaultPanicPin.size() + 1> text{};
    std::size_t at = 0;
    for (const char c : kPanicPinUpdatePrefix)
        text[at++] = c;
    for (const char c : kDefaultPanicPin)
        text[at++] = c;
    text[at] = '\'';
    return text;
}();
constexpr std::string_view kPanicPinUpdate{kPanicPinUpdateText.data(), kPanicPinUpdateText.size()};

// clang-format off
constexpr AddFieldCall kBlock1[] = {
    {"Door", "MainEntrance", "Boolean"},
    {"User.DB", "FireReportIn", "Boolean"},
    {"User.DB", "FireReportOut", "Boolean"},
    {"User.DB", "CardListDetail", "Boolean"},
    {"User.DB", "TimeAttendance", "Boolean"},
};

constexpr AddFieldCall kBlock2[] = {
    {"WorkON", "DeptName", "Char(20)"},
    {"DeptTimeTable", "DeptName", "Char(20)"},
    {"Department", "RoundOTMin", "SmallInt"},
    {"ActiveRelay", "FromDoorID", "SmallInt"},
    {"ACtiveRelay", "ToDoorID", "SmallInt"},
    {"ACtiveRelay", "DoorIn", "Boolean"},
    {"ACtiveRelay", "DoorOut", "Boolean"},
    {"Personal", "LastDoorName", "Char(20)"},
    {"Personal", "DoorAccessStatus", "Char(20)"},
    {"Personal", "LastDoorID", "Smallint"},
    {"Personal", "LastAccessDate", "Date"},
    {"Personal", "LastAccessTime", "Time"},
};

constexpr GroupRow kBlock3[] = {
    alter("FromCardID", "alter table activeRelay add FromCardID Char(20)", none, "Upgraded Successfully : Field FromCardID Added"),
    alter("ToCardID", "alter table activeRelay add ToCardID Char(20)", none, "Upgraded Successfully : Field ToCardID Added"),
    alter("ActiveRelay", "alter table activeRelay add ActiveRelay SmallInt", none, "Upgraded Successfully : Field ActiveRelay Added"),
    alter("EventID", "alter table activeRelay add EventID Smallint", none, "Upgraded Successfully : Field EventID Added"),
    alter("RelayID", "alter table activeRelay add RelayID SmallInt", none, "Upgraded Successfully : Field RelayID Added"),
    alter("ConID", "alter table activeRelay add COnID SmallInt", none, "Upgraded Successfully : Field COnID Added"),
};

constexpr GroupRow kBlock4[] = {
    alter("ForceDoorCloseTimeTbl", "alter table Door add ForceDoorCloseTimeTbl smallint", none, none),
    alter("DoorPIN", "alter table Door add DoorPIN Char(10)", none, "DoorPIN Field added "),
    alter("DoorPINEnableTimeTable", "alter table Door add DoorPINEnableTimeTable smallint", none, "DoorPINEnableTimeTable Field added "),
    alter("IsSupportEMCard", "alter table Door add IsSupportEMCard boolean", "update Door set IsSupportEMCard=false", none),
};

constexpr GroupRow kBlock5[] = {
    alter("ConnectMethod", "alter table ctrller add ConnectMethod smallint", "update ctrller set ConnectMethod=1", "Upgraded Successfully : ConnectMethod Field added "),
    add_field("Ctrller", "ReadCardFormat", "smallint"),
    add_field("Ctrller", "CardMask", "Char(20)"),
    alter("PresentCardDelay", "alter table ctrller add PresentCardDelay integer", "update ctrller set PresentCardDelay=0", "Upgraded Successfully : PresentCardDelay Field added "),
    alter("EnablePanicPIN", "alter table ctrller add EnablePanicPIN boolean", "update ctrller set EnablePanicPIN=false", "EnablePanicPIN Field added "),
    alter("PanicPIN", "alter table ctrller add PanicPIN Char(4)", kPanicPinUpdate, "PanicPIN Field added "),
    add_field("Ctrller.db", "UDP_HOST", "Char(50)"),
    alter("UDP_PORT", "alter table ctrller add UDP_PORT float", "update ctrller set UDP_PORT=1001", "Upgraded Successfully : UDP_Port Field added "),
    alter("EnableAutoAdjTime", "alter table ctrller add EnableAutoAdjTime boolean", "update ctrller set EnableAutoAdjTime=false", "Upgraded Successfully : EnableAutoAdjTime Field added "),
    alter("WinterTriggerTime", "alter table ctrller add WinterTriggerTime time", "update ctrller set WinterTriggerTime='0:0:0:'", "Upgraded Successfully : WinterTriggerTime Field added "),
    alter("WinterTriggerDate", "alter table ctrller add WinterTriggerDate date", "update ctrller set WinterTriggerDate='1/1/2000'", "Upgraded Successfully : WinterTriggerDate Field added "),
    alter("SummerTriggerTime", "alter table ctrller add SummerTriggerTime time", "update ctrller set SummerTriggerTime='0:0:0:'", "Upgraded Successfully : SummerTriggerTime Field added "),
    alter("SummerTriggerDate", "alter table ctrller add SummerTriggerDate date", "update ctrller set SummerTriggerDate='1/1/2000'", "Upgraded Successfully : SummerTriggerDate Field added "),
    alter("WinterHour", "alter table ctrller add WinterHour integer", "update ctrller set WinterHour=0", "Upgraded Successfully : WinterHour Field added "),
    alter("SummerHour", "alter table ctrller add SummerHour integer", "update ctrller set SummerHour=0", "Upgraded Successfully : SummerHour Field added "),
    alter("AllowAnyCard", "alter table ctrller add AllowAnyCard boolean", "update ctrller set AllowAnyCard=false", "Upgraded Successfully : Allow Any Card Field added "),
    alter("PhoneNumber", "alter table ctrller add PhoneNumber char(30)", none, "Upgraded Successfully : PhoneNumber Field added "),
};

constexpr GroupRow kBlock6[] = {
    alter("StaffID", "alter table \"LQ.db\" add StaffID Char(20)", none, "Upgraded Successfully : StaffID Field added "),
    alter("CardID", "alter table \"LQ.db\" add CardID Char(20)", none, "Upgraded Successfully : CardID Field added "),
    alter("Name", "alter table \"LQ.db\" add Name Char(20)", none, "Upgraded Successfully : Name Field added "),
    alter("department", "alter table \"LQ.db\" add department Char(40)", none, "Upgraded Successfully : department Field added "),
    alter("TDate", "alter table \"LQ.db\" add Tdate Date", none, "Upgraded Successfully : TDate Field added "),
    alter("TTime", "alter table \"LQ.db\" add TTime Time", none, "Upgraded Successfully : TTime Field added "),
    alter("InTime", "alter table \"LQ.db\" add InTime Time", none, "Upgraded Successfully : InTime Field added "),
    alter("OutTime", "alter table \"LQ.db\" add OutTime Time", none, "Upgraded Successfully : OutTime Field added "),
    alter("LateMin", "alter table \"LQ.db\" add LateMin smallInt", none, "Upgraded Successfully : LateMin Field added "),
    alter("EarlyLeaveMin", "alter table \"LQ.db\" add EarlyLeaveMin SmallInt", none, "Upgraded Successfully : EarlyLeaveMin Field added "),
    alter("I", "alter table \"LQ.db\" add I autoinc", none, "Upgraded Successfully : I Field added "),
    alter("WokringHourStart", "alter table \"LQ.db\" add WokringHourStart Time", none, "Upgraded Successfully : WokringHourStart Field added "),
    alter("OT", "alter table \"LQ.db\" add OT smallint", none, "Upgraded Successfully : OT Field added "),
    alter("Status", "alter table \"LQ.db\" add Status Char(40)", none, "Upgraded Successfully : Status Field added "),
    alter("DateTime", "alter table \"LQ.db\" add DateTime Char(40)", none, "Upgraded Successfully : DateTime Field added "),
};

constexpr GroupRow kBlock7[] = {
    alter("DT", "alter table \"Transact.db\" add DT datetime", none, "Upgraded Successfully : DT Field added "),
};

constexpr GroupRow kBlock8[] = {
    alter("HolidayName", "alter table \"Holiday.db\" add HolidayName Char(20)", none, "Upgraded Successfully : HolidayName Field added "),
};

constexpr GroupRow kBlock9[] = {
    alter("DeptID", "alter table \"personal.db\" add DeptID smallInt", none, "Upgraded Successfully : DeptID Field added "),
    alter("HomePhoneNum", "alter table \"personal.db\" add HomePhoneNum Char(20)", none, "Upgraded Successfully : HomePhoneNum Field added "),
    alter("MobilePhoneNum", "alter table \"personal.db\" add MobilePhoneNum Char(20)", none, "Upgraded Successfully : MobilePhoneNum Field added "),
    alter("DateOfBirth", "alter table \"personal.db\" add DateOfBirth Date", none, "Upgraded Successfully : DateOfBirth Field added "),
    alter("Nationality", "alter table \"personal.db\" add Nationality Char(40)", none, "Upgraded Successfully : Nationality Field added "),
    alter("EmergencyContactPerson", "alter table \"personal.db\" add EmergencyContactPerson Char(20)", none, "Upgraded Successfully : EmergencyContactPerson Field added "),
    alter("EmergencyContactNum", "alter table \"personal.db\" add EmergencyContactNum Char(20)", none, "Upgraded Successfully : EmergencyContactNum Field added "),
    alter("Address1", "alter table \"personal.db\" add Address1 Char(200)", none, "Upgraded Successfully : Address1 Field added "),
    alter("Address2", "alter table \"personal.db\" add Address2 Char(200)", none, "Upgraded Successfully : Address2 Field added "),
    alter("Comment1", "alter table \"personal.db\" add Comment1 Char(200)", none, "Upgraded Successfully : Comment1 Field added "),
    alter("Comment2", "alter table \"personal.db\" add Comment2 Char(200)", none, "Upgraded Successfully : Comment2 Field added "),
    alter("RelationToEmployee", "alter table \"personal.db\" add RelationToEmployee Char(200)", none, "Upgraded Successfully : RelationToEmployee Field added "),
};

constexpr GroupRow kBlock10[] = {
    alter("FirstInRpt", "alter table \"user.db\" add FirstInRpt boolean", none, "Upgraded Successfully : FirstInRpt Field added "),
    add_field("user.db", "LastOutRpt", "Boolean"),
    add_field("user.db", "FirstINLastOutRpt", "Boolean"),
    add_field("user.db", "EventAlertRpt", "Boolean"),
    add_field("user.db", "LateRpt", "Boolean"),
    add_field("user.db", "EarlyLeaveRpt", "Boolean"),
    add_field("user.db", "AttendanceRpt", "Boolean"),
    add_field("user.db", "Department", "Boolean"),
    alter("DBBackup", "alter table \"user.db\" add DBBackup boolean", none, "Upgraded Successfully : DBBackup Field added "),
    alter("DBRestore", "alter table \"user.db\" add DBRestore boolean", none, "Upgraded Successfully : DBRestore Field added "),
    alter("DoorAccessControl", "alter table \"user.db\" add DoorAccessControl boolean", none, "Upgraded Successfully : DoorAccessControl Field added "),
    alter("PatrolReport", "alter table \"user.db\" add PatrolReport boolean", none, "Upgraded Successfully : PatrolReport Field added "),
    alter("StopScan", "alter table \"user.db\" add StopScan boolean", none, "Upgraded Successfully : StopScan Field added "),
    alter("LocMapSetupMode", "alter table \"user.db\" add LocMapSetupMode boolean", none, "Upgraded Successfully : LocMapSetupMode Field added "),
    alter("LocMapUserMode", "alter table \"user.db\" add LocMapUserMode boolean", none, "Upgraded Successfully : LocMapUserMode Field added "),
    alter("PersonalData", "alter table \"user.db\" add PersonalData boolean", none, "Upgraded Successfully : PersonalData Field added "),
};

constexpr GroupRow kBlock11[] = {
    alter("PName", "alter table EmailAlert add PName Char(20)", none, "Upgraded Successfully : Field PName Added"),
    alter("Emailaddress", "alter table EmailAlert add emailaddress Char(20)", none, "Upgraded Successfully : Field EmailAddress Added"),
    alter("EventID", "alter table EmailAlert add EventID smallint", none, "Upgraded Successfully : Field EventID Added"),
};

constexpr GroupRow kBlock12[] = {
    alter("WorkingHourStart", "alter table SecMas add WorkingHourStart time", "update SecMas set WorkingHourStart='09:00:00'", "Upgraded Successfully : WorkingHourStart Field added "),
    alter("CarparkCount", "alter table SecMas add CarParkCount smallInt", none, "Upgraded Successfully : CarParkCount Field added "),
    alter("CarparkBalance", "alter table SecMas add CarParkBalance smallInt", none, "Upgraded Successfully : CarParkBalance Field added "),
};

// clang-format on

constexpr std::array kBlocks = {
    ColumnBlock{1, kBlock1, {}, {}},
    ColumnBlock{2, kBlock2, {}, {}},
    ColumnBlock{3, {}, "Select * from \"ActiveRelay.DB\"", kBlock3},
    ColumnBlock{4, {}, "Select * from \"Door.DB\"", kBlock4},
    ColumnBlock{5, {}, "Select * from \"ctrller.DB\"", kBlock5},
    ColumnBlock{6, {}, "Select * from \"LQ.DB\"", kBlock6},
    ColumnBlock{7, {}, "Select * from \"Transact.DB\"", kBlock7, true},
    ColumnBlock{8, {}, "Select * from \"Holiday.DB\"", kBlock8},
    ColumnBlock{9, {}, "Select * from \"personal.DB\"", kBlock9},
    ColumnBlock{10, {}, "Select * from \"user.DB\"", kBlock10},
    ColumnBlock{11, {}, "Select * from \"EmailAlert.DB\"", kBlock11},
    ColumnBlock{12, {}, "Select * from \"secmas.DB\"", kBlock12},
};

}  // namespace

std::span<const ColumnBlock> column_blocks() {
    return kBlocks;
}

const ColumnBlock& column_block(int number) {
    for (const ColumnBlock& block : kBlocks)
        if (block.number == number) return block;
    throw Error("There is no column block " + std::to_string(number) + ".");
}

}  // namespace vaq::upgrade
