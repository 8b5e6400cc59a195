#include "upgrade/table_steps.h"

#include <array>

#include "common/error.h"
#include "upgrade/reference_data.h"

namespace vaq::upgrade {

namespace {

// Lines as the access-control program sends them; tabs and blanks at the ends belong to
// them. The engine reads blanks, tabs and the line breaks between lines alike.
// clang-format off
constexpr std::string_view kT1[] = {
    " Create TABLE \"EMCARD_MAS.db\" (",
    " CardID char(20), Description char (40), Primary Key(CardID) )",
};
constexpr std::string_view kT2[] = {
    " Create TABLE \"EMCARD_DET.db\" (",
    " CardID char(20), ControllerID smallint, DoorID smallint )",
};
constexpr std::string_view kT3[] = {
    " Create TABLE \"CardFormat.db\" (",
    " FormatIndex smallint, FormatName char(30) )",
};
constexpr std::string_view kT4[] = {
    " Create TABLE \"DoorTree.db\" (\t PKey autoInc, ",
    " DoorID  SmallInt, ParentDoorID Smallint, Primary Key(PKey) )",
};
constexpr std::string_view kT5[] = {
    " Create TABLE \"WorkOn.db\" (\tDeptID smallint, \tWorkONKey autoInc, ",
    " WorkOnMOn Boolean, WorkOnTue Boolean, WorkOnWed Boolean, WorkOnThur Boolean, WorkOnFri Boolean, ",
    " WorkOnSat Boolean, WorkOnSun Boolean, Primary Key(DeptID) )",
};
constexpr std::string_view kT6[] = {
    " Create TABLE \"LeaveType.db\" (\tLeaveTypeID smallint, \tLeaveTypeName char(40), Primary Key(LeaveTypeID) )",
};
constexpr std::string_view kT7[] = {
    "  CREATE TABLE \"Leave.db\" (\tidLeave smallint,\tStaffID Char(20),\tSickLeave Boolean , ",
    "\tAnnualLeave Boolean,\tHalfDayLeave Boolean,\tAfterNoonLeave Boolean,\tMaternityLeave Boolean, ",
    "\tLeaveDateTime Date,\tLeaveTypeID SmallInt,\tRemarks  Char(255), Primary Key(IdLeave) )",
};
constexpr std::string_view kT7FollowUps[] = {"  CREATE INDEX idx_StaffID ON Leave (StaffID) "};
constexpr std::string_view kT8[] = {
    " CREATE TABLE \"StaffTimeTbl.db\" ( StaffID Char(20),\tMonS Time ,\tMonE Time ,\tTueS Time ,\tTueE Time , ",
    " \tWedS Time ,\tWedE Time ,\tThurS Time ,\tThurE Time ,\tFriS Time ,\tSatS  Time ,\tSatE   Time , ",
    " \tSunS   Time ,\tSunE   Time ,\tMonL   Time ,\tTueL   Time ,\tWedL   Time ,\tThurL    Time ,\t",
    "FriL Time ,\tSatL Time , \tSunL  Time ,\tFriE Time, primary Key(StaffID) ) ",
};
constexpr std::string_view kT9[] = {
    " CREATE TABLE \"DeptTimeTable.db\" ( ",
    " DeptTimeTableID smallint ,\tMonS Time ,\tTueS Time,\tWedS Time,\tThurS Time ,\tFriS Time, ",
    " \tSatS Time,\tSunS Time ,\tMonE Time,\tTueE Time,\tWedE Time,\tThurE Time,\tSatE Time,\tSunE Time, ",
    " \tMonL Time,\tTueL Time ,\tWedL Time,\tThurL Time,\tFriL Time,\tSatL Time,\tSunL  Time, ",
    "\tFriE Time , Primary Key(DeptTimeTableID) )",
};
constexpr std::string_view kT10[] = {
    " Create  TABLE \"Department.db\" ( ",
    " DeptID smallint , ",
    " DeptName Char(40) , ",
    " LateAllowance smallint, ",
    " EnableLateAllowance boolean )",
};
constexpr std::string_view kT11[] = {
    "CREATE TABLE \"attendance.db\" ( TheDate date ,\tStaffID char(20), \tInTime Time, \tOutTime Time, \tLateMin smallint, ",
    " EarlyLeaveMin smallint,\tOT smallint , \tStartWorkingTime Time, \tEndWorkingTime time , \tStatus Char(40) )",
};
constexpr std::string_view kT12[] = {
    "CREATE TABLE \"SGCountTBl.DB\" ( ID autoinc, SGCount smallInt, ConID SmallInt, SecGroupID SmallInt, primary key (ID))",
};
constexpr std::string_view kT13[] = {
    "CREATE TABLE \"ActiveRelay.DB\" ( ID autoinc, FromCardID Char(20), ToCardID Char(20), ActiveRelay SmallInt, EventID Smallint, RelayID SmallInt, ConID SmallInt, primary key (ID))",
};
constexpr std::string_view kT14[] = {
    "Create TABLE \"DoorStatus.db\" (DoorID smallint,\tStatus smallint, Primary Key(DoorID, Status) )",
};
constexpr std::string_view kT15[] = {
    "CREATE TABLE \"LQ.DB\" ( StaffID Char(20), CardID Char(20), Name Char(40), department Char(40), TDate Date, InTime Time, OutTime Time,LateMin smallint,EarlyLeaveMin smallint, I autoinc, WokringHourStart Time, OT smallint, Status Char(40), DateName Char(40))",
};
constexpr std::string_view kT16[] = {
    "CREATE TABLE \"FILORPT.DB\" ( StaffID Char(20), CardID Char(20), Name Char(40),  TDate Date, InTime Time, OutTime Time, TotalHr Float)",
};
constexpr std::string_view kT17[] = {
    "CREATE TABLE \"LocationMap.DB\" ( MyDoorID smallINt, MapDoorID smallINt,  ",
    "  MapControllerID SmallInt, LeftImageLoc SmallInt, TopImageLoc SmallInt, DoorName Char(20), ",
    " Primary Key(MyDoorID)) ",
};
constexpr std::string_view kT18[] = {
    "CREATE TABLE \"EmailAlert.DB\" ( pkey Autoinc, PName Char(20) , emailaddress Char(30),   ",
    "EventID Smallint, Primary Key(pkey))",
};
// clang-format on

constexpr std::span<const std::string_view> kNone;

constexpr std::array kTableSteps = {
    TableStep{"T1", "\\EMCARD_MAS.db", kT1, kNone,
              "Upgraded Successfully : Table EMCARD_MAS.db Added"},
    TableStep{"T2", "\\EMCARD_DET.db", kT2, kNone,
              "Upgraded Successfully : Table EMCARD_DET.db Added"},
    TableStep{"T3", "\\CardFormat.db", kT3, kNone,
              "Upgraded Successfully : Table CardFormat.db Added"},
    TableStep{"T4", "\\DoorTree.db", kT4, kNone, "Upgraded Successfully : Table DoorTree.db Added"},
    TableStep{"T5", "\\WorkOn.db", kT5, kNone, "Upgraded Successfully : Table WorkOn.db Added"},
    TableStep{"T6", "\\LeaveType.db", kT6, kLeaveTypeInserts,
              "Upgraded Successfully : Table LeaveType.db Added"},
    TableStep{"T7", "\\Leave.db", kT7, kT7FollowUps,
              "Upgraded Successfully : Table Leave.db Added"},
    TableStep{"T8", "\\StaffTimeTbl.db", kT8, kNone, std::nullopt},
    TableStep{"T9", "\\DeptTimeTable.db", kT9, kNone,
              "Upgraded Successfully : Table DeptTimeTable.db Added"},
    TableStep{"T10", "\\Department.db", kT10, kNone,
              "Upgraded Successfully : Table Department.db Added"},
    TableStep{"T11", "\\attendance.db", kT11, kNone,
              "Upgraded Successfully : Table Attendance.db Added"},
    TableStep{"T12", "\\SGCountTbl.DB", kT12, kNone,
              "Upgraded Successfully : Table SGCountTbl.DB Added"},
    TableStep{"T13", "\\ActiveRelay.DB", kT13, kNone,
              "Upgraded Successfully : Table ActiveRelay Added"},
    TableStep{"T14", "\\DoorStatus.db", kT14, kNone,
              "Upgraded Successfully : Table DoorStatus.db Added"},
    TableStep{"T15", "\\LQ.DB", kT15, kNone, "Upgraded Successfully : Table LQ Added"},
    TableStep{"T16", "\\FILORPT.DB", kT16, kNone, "Upgraded Successfully : Table FILORPT Added"},
    TableStep{"T17", "\\LocationMap.DB", kT17, kNone,
              "Upgraded Successfully : LocationMap.DB  added "},
    TableStep{"T18", "\\Emailalert.DB", kT18, kNone,
              "Upgraded Successfully : Table EmailAlert.DB  added "},
};

}  // namespace

std::span<const TableStep> table_steps() {
    return kTableSteps;
}

const TableStep& table_step(std::string_view name) {
    for (const TableStep& step : kTableSteps)
        if (step.name == name) return step;
    throw Error("There is no table step " + std::string(name) + ".");
}

}  // namespace vaq::upgrade
