#pragma once

#include <span>
#include <string_view>
#include <vector>

// The tables of the VAQ database: names of tables, columns and indexes, and the layouts the
// upgrade produces or expects. Every other part of the program takes these names from here.
// Table and column names are matched without regard to letter case, and a table name
// without its extension names the same table (same_table_name, same_column_name).
namespace vaq::db::schema {

// ---- Tables of the access-control program -------------------------------------------------

namespace Ctrller {
inline constexpr std::string_view kTable = "Ctrller.DB";
inline constexpr std::string_view ID = "ID";
inline constexpr std::string_view ControllerID = "ControllerID";
inline constexpr std::string_view ConnectMethod = "ConnectMethod";
inline constexpr std::string_view ReadCardFormat = "ReadCardFormat";
inline constexpr std::string_view CardMask = "CardMask";
inline constexpr std::string_view PresentCardDelay = "PresentCardDelay";
inline constexpr std::string_view EnablePanicPIN = "EnablePanicPIN";
inline constexpr std::string_view PanicPIN = "PanicPIN";
inline constexpr std::string_view UDP_HOST = "UDP_HOST";
inline constexpr std::string_view UDP_PORT = "UDP_PORT";
inline constexpr std::string_view EnableAutoAdjTime = "EnableAutoAdjTime";
inline constexpr std::string_view WinterTriggerTime = "WinterTriggerTime";
inline constexpr std::string_view WinterTriggerDate = "WinterTriggerDate";
inline constexpr std::string_view SummerTriggerTime = "SummerTriggerTime";
inline constexpr std::string_view SummerTriggerDate = "SummerTriggerDate";
inline constexpr std::string_view WinterHour = "WinterHour";
inline constexpr std::string_view SummerHour = "SummerHour";
inline constexpr std::string_view AllowAnyCard = "AllowAnyCard";
inline constexpr std::string_view PhoneNumber = "PhoneNumber";
}  // namespace Ctrller

namespace Door {
inline constexpr std::string_view kTable = "Door.DB";
inline constexpr std::string_view DoorID = "DoorID";
inline constexpr std::string_view ControllerID = "ControllerID";
inline constexpr std::string_view ID = "ID";
inline constexpr std::string_view Name = "Name";
inline constexpr std::string_view DoorOpenTime = "DoorOpenTime";
inline constexpr std::string_view DoorMode = "DoorMode";
inline constexpr std::string_view ForceDoorOpenTimeTbl = "ForceDoorOpenTimeTbl";
inline constexpr std::string_view CancelPINTimeTbl = "CancelPINTimeTbl";
inline constexpr std::string_view MonitorTime = "MonitorTime";
inline constexpr std::string_view PIN = "PIN";
inline constexpr std::string_view AntiPassBack = "AntiPassBack";
inline constexpr std::string_view Holiday = "Holiday";
inline constexpr std::string_view InReaderSN = "InReaderSN";
inline constexpr std::string_view OutReaderSN = "OutReaderSN";
inline constexpr std::string_view DoorRelaySN = "DoorRelaySN";
inline constexpr std::string_view MainEntrance = "MainEntrance";
inline constexpr std::string_view ForceDoorCloseTimeTbl = "ForceDoorCloseTimeTbl";
inline constexpr std::string_view DoorPIN = "DoorPIN";
inline constexpr std::string_view DoorPINEnableTimeTable = "DoorPINEnableTimeTable";
inline constexpr std::string_view IsSupportEMCard = "IsSupportEMCard";
inline constexpr std::string_view DoorIndex1 = "DoorIndex1";  // primary index on DoorID
inline constexpr std::string_view ControlID = "ControlID";    // secondary index on ControllerID
}  // namespace Door

namespace Personal {
inline constexpr std::string_view kTable = "Personal.DB";
inline constexpr std::string_view PersonalID = "PersonalID";
inline constexpr std::string_view CardID = "CardID";
inline constexpr std::string_view StaffID = "StaffID";
inline constexpr std::string_view Department = "Department";
inline constexpr std::string_view DeptID = "DeptID";
inline constexpr std::string_view HomePhoneNum = "HomePhoneNum";
inline constexpr std::string_view MobilePhoneNum = "MobilePhoneNum";
inline constexpr std::string_view DateOfBirth = "DateOfBirth";
inline constexpr std::string_view Nationality = "Nationality";
inline constexpr std::string_view EmergencyContactPerson = "EmergencyContactPerson";
inline constexpr std::string_view EmergencyContactNum = "EmergencyContactNum";
inline constexpr std::string_view Address1 = "Address1";
inline constexpr std::string_view Address2 = "Address2";
inline constexpr std::string_view Comment1 = "Comment1";
inline constexpr std::string_view Comment2 = "Comment2";
inline constexpr std::string_view RelationToEmployee = "RelationToEmployee";
inline constexpr std::string_view LastDoorName = "LastDoorName";
inline constexpr std::string_view DoorAccessStatus = "DoorAccessStatus";
inline constexpr std::string_view LastDoorID = "LastDoorID";
inline constexpr std::string_view LastAccessDate = "LastAccessDate";
inline constexpr std::string_view LastAccessTime = "LastAccessTime";
}  // namespace Personal

namespace Transact {
inline constexpr std::string_view kTable = "Transact.db";
inline constexpr std::string_view TransID = "TransID";
inline constexpr std::string_view TDate = "TDate";
inline constexpr std::string_view TTime = "TTime";
inline constexpr std::string_view ControllerID = "ControllerID";
inline constexpr std::string_view DoorID = "DoorID";
inline constexpr std::string_view Door = "Door";
inline constexpr std::string_view CardID = "CardID";
inline constexpr std::string_view PersonalID = "PersonalID";
inline constexpr std::string_view StaffID = "StaffID";
inline constexpr std::string_view EventID = "EventID";
inline constexpr std::string_view DT = "DT";
inline constexpr std::string_view idx_TransTDate = "idx_TransTDate";
inline constexpr int kCardIDMinWidth = 10;
}  // namespace Transact

namespace Holiday {
inline constexpr std::string_view kTable = "Holiday.db";
inline constexpr std::string_view HolidayID = "HolidayID";
inline constexpr std::string_view TDate = "TDate";
inline constexpr std::string_view TimeZoneID = "TimeZoneID";
inline constexpr std::string_view HolidayType = "HolidayType";
inline constexpr std::string_view HolidayName = "HolidayName";
inline constexpr std::string_view idx_TDate = "idx_TDate";
}  // namespace Holiday

namespace SecMas {
inline constexpr std::string_view kTable = "SecMas.DB";
inline constexpr std::string_view SecurityGroupID = "SecurityGroupID";
inline constexpr std::string_view SecurityGroupName = "SecurityGroupName";
inline constexpr std::string_view WorkingHourStart = "WorkingHourStart";
inline constexpr std::string_view CarParkCount = "CarParkCount";
inline constexpr std::string_view CarParkBalance = "CarParkBalance";
inline constexpr std::string_view idx_SecName = "idx_SecName";
}  // namespace SecMas

namespace User {
inline constexpr std::string_view kTable = "User.DB";
inline constexpr std::string_view FireReportIn = "FireReportIn";
inline constexpr std::string_view FireReportOut = "FireReportOut";
inline constexpr std::string_view CardListDetail = "CardListDetail";
inline constexpr std::string_view TimeAttendance = "TimeAttendance";
inline constexpr std::string_view FirstInRpt = "FirstInRpt";
inline constexpr std::string_view LastOutRpt = "LastOutRpt";
inline constexpr std::string_view FirstINLastOutRpt = "FirstINLastOutRpt";
inline constexpr std::string_view EventAlertRpt = "EventAlertRpt";
inline constexpr std::string_view LateRpt = "LateRpt";
inline constexpr std::string_view EarlyLeaveRpt = "EarlyLeaveRpt";
inline constexpr std::string_view AttendanceRpt = "AttendanceRpt";
inline constexpr std::string_view Department = "Department";
inline constexpr std::string_view DBBackup = "DBBackup";
inline constexpr std::string_view DBRestore = "DBRestore";
inline constexpr std::string_view DoorAccessControl = "DoorAccessControl";
inline constexpr std::string_view PatrolReport = "PatrolReport";
inline constexpr std::string_view StopScan = "StopScan";
inline constexpr std::string_view LocMapSetupMode = "LocMapSetupMode";
inline constexpr std::string_view LocMapUserMode = "LocMapUserMode";
inline constexpr std::string_view PersonalData = "PersonalData";
}  // namespace User

namespace AntiPassBack {
inline constexpr std::string_view kTable = "AntiPassBack.db";
inline constexpr std::string_view Pkey = "Pkey";  // tested as `PKey`; letter case is ignored
inline constexpr std::string_view ControllerID = "ControllerID";
inline constexpr std::string_view FromDoorID = "FromDoorID";
inline constexpr std::string_view FromDirection = "FromDirection";
inline constexpr std::string_view ToDOorID = "ToDOorID";
inline constexpr std::string_view ToDirection = "ToDirection";
inline constexpr std::string_view idx_CID = "idx_CID";
}  // namespace AntiPassBack

namespace events {
inline constexpr std::string_view kTable = "events";
inline constexpr std::string_view EventID = "EventID";
inline constexpr std::string_view Events = "Events";
}  // namespace events

namespace MessForm {
inline constexpr std::string_view kTable = "MessForm";
inline constexpr std::string_view MessID = "MessID";
}  // namespace MessForm

namespace MessSys {
inline constexpr std::string_view kTable = "MessSys";
inline constexpr std::string_view MessID = "MessID";
}  // namespace MessSys

// ---- Tables the upgrade creates when they are missing -------------------------------------

namespace EMCARD_MAS {
inline constexpr std::string_view kTable = "EMCARD_MAS.db";
inline constexpr std::string_view CardID = "CardID";
inline constexpr std::string_view Description = "Description";
}  // namespace EMCARD_MAS

namespace EMCARD_DET {
inline constexpr std::string_view kTable = "EMCARD_DET.db";
inline constexpr std::string_view CardID = "CardID";
inline constexpr std::string_view ControllerID = "ControllerID";
inline constexpr std::string_view DoorID = "DoorID";
}  // namespace EMCARD_DET

namespace CardFormat {
inline constexpr std::string_view kTable = "CardFormat.db";
inline constexpr std::string_view FormatIndex = "FormatIndex";
inline constexpr std::string_view FormatName = "FormatName";
}  // namespace CardFormat

namespace DoorTree {
inline constexpr std::string_view kTable = "DoorTree.db";
inline constexpr std::string_view PKey = "PKey";
inline constexpr std::string_view DoorID = "DoorID";
inline constexpr std::string_view ParentDoorID = "ParentDoorID";
}  // namespace DoorTree

namespace WorkOn {
inline constexpr std::string_view kTable = "WorkOn.db";
inline constexpr std::string_view DeptID = "DeptID";
inline constexpr std::string_view WorkONKey = "WorkONKey";
inline constexpr std::string_view WorkOnMOn = "WorkOnMOn";
inline constexpr std::string_view WorkOnTue = "WorkOnTue";
inline constexpr std::string_view WorkOnWed = "WorkOnWed";
inline constexpr std::string_view WorkOnThur = "WorkOnThur";
inline constexpr std::string_view WorkOnFri = "WorkOnFri";
inline constexpr std::string_view WorkOnSat = "WorkOnSat";
inline constexpr std::string_view WorkOnSun = "WorkOnSun";
inline constexpr std::string_view DeptName = "DeptName";
inline constexpr std::string_view idx_DeptName = "idx_DeptName";
}  // namespace WorkOn

namespace LeaveType {
inline constexpr std::string_view kTable = "LeaveType.db";
inline constexpr std::string_view LeaveTypeID = "LeaveTypeID";
inline constexpr std::string_view LeaveTypeName = "LeaveTypeName";
}  // namespace LeaveType

namespace Leave {
inline constexpr std::string_view kTable = "Leave.db";
inline constexpr std::string_view idLeave = "idLeave";
inline constexpr std::string_view StaffID = "StaffID";
inline constexpr std::string_view SickLeave = "SickLeave";
inline constexpr std::string_view AnnualLeave = "AnnualLeave";
inline constexpr std::string_view HalfDayLeave = "HalfDayLeave";
inline constexpr std::string_view AfterNoonLeave = "AfterNoonLeave";
inline constexpr std::string_view MaternityLeave = "MaternityLeave";
inline constexpr std::string_view LeaveDateTime = "LeaveDateTime";
inline constexpr std::string_view LeaveTypeID = "LeaveTypeID";
inline constexpr std::string_view Remarks = "Remarks";
inline constexpr std::string_view idx_StaffID = "idx_StaffID";
inline constexpr std::string_view idx_LeaveDate = "idx_LeaveDate";
}  // namespace Leave

// The 21 time columns of the two weekly time tables, each in its own order (FriE is last).
namespace StaffTimeTbl {
inline constexpr std::string_view kTable = "StaffTimeTbl.db";
inline constexpr std::string_view StaffID = "StaffID";
}  // namespace StaffTimeTbl

namespace DeptTimeTable {
inline constexpr std::string_view kTable = "DeptTimeTable.db";
inline constexpr std::string_view DeptTimeTableID = "DeptTimeTableID";
inline constexpr std::string_view DeptName = "DeptName";
inline constexpr std::string_view idx_DeptName = "idx_DeptName";
}  // namespace DeptTimeTable

namespace Department {
inline constexpr std::string_view kTable = "Department.db";
inline constexpr std::string_view DeptID = "DeptID";
inline constexpr std::string_view DeptName = "DeptName";
inline constexpr std::string_view LateAllowance = "LateAllowance";
inline constexpr std::string_view EnableLateAllowance = "EnableLateAllowance";
inline constexpr std::string_view RoundOTMin = "RoundOTMin";
inline constexpr std::string_view idx_DeptName = "idx_DeptName";
}  // namespace Department

namespace attendance {
inline constexpr std::string_view kTable = "attendance.db";
inline constexpr std::string_view TheDate = "TheDate";
inline constexpr std::string_view StaffID = "StaffID";
inline constexpr std::string_view InTime = "InTime";
inline constexpr std::string_view OutTime = "OutTime";
inline constexpr std::string_view LateMin = "LateMin";
inline constexpr std::string_view EarlyLeaveMin = "EarlyLeaveMin";
inline constexpr std::string_view OT = "OT";
inline constexpr std::string_view StartWorkingTime = "StartWorkingTime";
inline constexpr std::string_view EndWorkingTime = "EndWorkingTime";
inline constexpr std::string_view Status = "Status";
}  // namespace attendance

namespace SGCountTbl {
inline constexpr std::string_view kTable = "SGCountTbl.DB";
inline constexpr std::string_view ID = "ID";
inline constexpr std::string_view SGCount = "SGCount";
inline constexpr std::string_view ConID = "ConID";
inline constexpr std::string_view SecGroupID = "SecGroupID";
}  // namespace SGCountTbl

namespace ActiveRelay {
inline constexpr std::string_view kTable = "ActiveRelay.DB";
inline constexpr std::string_view ID = "ID";
inline constexpr std::string_view FromCardID = "FromCardID";
inline constexpr std::string_view ToCardID = "ToCardID";
inline constexpr std::string_view ActiveRelay = "ActiveRelay";
inline constexpr std::string_view EventID = "EventID";
inline constexpr std::string_view RelayID = "RelayID";
inline constexpr std::string_view ConID = "ConID";
inline constexpr std::string_view FromDoorID = "FromDoorID";
inline constexpr std::string_view ToDoorID = "ToDoorID";
inline constexpr std::string_view DoorIn = "DoorIn";
inline constexpr std::string_view DoorOut = "DoorOut";
inline constexpr std::string_view idx_EventID = "idx_EventID";
}  // namespace ActiveRelay

namespace DoorStatus {
inline constexpr std::string_view kTable = "DoorStatus.db";
inline constexpr std::string_view DoorID = "DoorID";
inline constexpr std::string_view Status = "Status";
}  // namespace DoorStatus

namespace LQ {
inline constexpr std::string_view kTable = "LQ.DB";
inline constexpr std::string_view StaffID = "StaffID";
inline constexpr std::string_view CardID = "CardID";
inline constexpr std::string_view Name = "Name";
inline constexpr std::string_view department = "department";
inline constexpr std::string_view TDate = "TDate";
inline constexpr std::string_view InTime = "InTime";
inline constexpr std::string_view OutTime = "OutTime";
inline constexpr std::string_view LateMin = "LateMin";
inline constexpr std::string_view EarlyLeaveMin = "EarlyLeaveMin";
inline constexpr std::string_view I = "I";
inline constexpr std::string_view WokringHourStart = "WokringHourStart";
inline constexpr std::string_view OT = "OT";
inline constexpr std::string_view Status = "Status";
inline constexpr std::string_view DateName = "DateName";
inline constexpr std::string_view TTime = "TTime";
inline constexpr std::string_view DateTime = "DateTime";
}  // namespace LQ

namespace FILORPT {
inline constexpr std::string_view kTable = "FILORPT.DB";
inline constexpr std::string_view StaffID = "StaffID";
inline constexpr std::string_view CardID = "CardID";
inline constexpr std::string_view Name = "Name";
inline constexpr std::string_view TDate = "TDate";
inline constexpr std::string_view InTime = "InTime";
inline constexpr std::string_view OutTime = "OutTime";
inline constexpr std::string_view TotalHr = "TotalHr";
}  // namespace FILORPT

namespace LocationMap {
inline constexpr std::string_view kTable = "LocationMap.DB";
inline constexpr std::string_view MyDoorID = "MyDoorID";
inline constexpr std::string_view MapDoorID = "MapDoorID";
inline constexpr std::string_view MapControllerID = "MapControllerID";
inline constexpr std::string_view LeftImageLoc = "LeftImageLoc";
inline constexpr std::string_view TopImageLoc = "TopImageLoc";
inline constexpr std::string_view DoorName = "DoorName";
}  // namespace LocationMap

namespace EmailAlert {
inline constexpr std::string_view kTable = "EmailAlert.DB";
inline constexpr std::string_view pkey = "pkey";
inline constexpr std::string_view PName = "PName";
inline constexpr std::string_view emailaddress = "emailaddress";
inline constexpr std::string_view EventID = "EventID";
inline constexpr std::string_view idx_EventID = "idx_EventID";
}  // namespace EmailAlert

// ---- Work tables ----------------------------------------------------------------------------

namespace work {
inline constexpr std::string_view tmpdb =
    "tmpdb.DB";  // the new AntiPassBack.db while it is rebuilt
inline constexpr std::string_view VERIFY = "VERIFY.DB";
inline constexpr std::string_view Rebuild = "Rebuild.DB";
inline constexpr std::string_view Backup = "Backup.Db";
inline constexpr std::string_view KEYVIOL = "KEYVIOL.DB";
inline constexpr std::string_view PROBLEM = "PROBLEM.DB";
}  // namespace work

// ---- Layouts ---------------------------------------------------------------------------------

// Column types as the engine's SQL names them. Number and Text stand for columns of the
// access-control program whose exact numeric type or width is that program's.
enum class ColumnType {
    kChar,
    kSmallInt,
    kInteger,
    kAutoInc,
    kBoolean,
    kDate,
    kTime,
    kDateTime,
    kFloat,
    kNumber,
    kText
};

// A column of a table, by name.
struct ColumnRef {
    std::string_view table;
    std::string_view column;
};

struct ColumnLayout {
    std::string_view name;
    ColumnType type = ColumnType::kText;
    int size = 0;          // width of a char column; for Text the least width needed
    bool created = false;  // part of the table's CREATE TABLE
    bool added = false;    // added by the upgrade to a table that lacks it
    int addedSize = 0;     // width when added, where it differs from `size`
    // The key column whose values this column holds to name a record of another table
    // (Transact.PersonalID names a record of Personal by its PersonalID); empty when none.
    ColumnRef refersTo = {};
};

struct IndexLayout {
    std::string_view name;
    std::string_view column;
};

enum class TableGroup {
    kAccessControl,     // belongs to the access-control program; only the used columns listed
    kCreatedByUpgrade,  // created by the upgrade when missing; full layout listed
    kWork,              // exists only while a job runs, or written by a library
};

struct TableLayout {
    std::string_view name;  // the file name in the database directory
    TableGroup group;
    std::span<const ColumnLayout> columns;
    std::span<const std::string_view> primaryKey;
    std::span<const IndexLayout> indexes;  // the named secondary indexes the system knows
};

// Every table of the database, group 1 first, in the order of their description.
std::span<const TableLayout> tables();
// The table of that name, letter case ignored, with or without extension; null if unknown.
const TableLayout* find_table(std::string_view name);
// The column of that name, letter case ignored; null if the layout does not list it.
const ColumnLayout* find_column(const TableLayout& table, std::string_view name);

// Every column of the schema that names records of `table` by `column`: the columns whose
// values must follow when that column's values change. Letter case and extension ignored.
std::vector<ColumnRef> references_to(std::string_view table, std::string_view column);

// A table object of the main window and the table name it is bound to ("" for Table1,
// which is bound at run time).
struct TableObject {
    std::string_view object;
    std::string_view table_name;
};
std::span<const TableObject> table_objects();

// One index step of the upgrade: when the tested index is missing from the table bound to
// the table object, the created index is made on the column.
struct EnsuredIndex {
    std::string_view table_object;
    std::string_view table_name;
    std::string_view tested_name;
    std::string_view created_name;
    std::string_view column;
};
// The eleven steps in the order the upgrade runs them.
std::span<const EnsuredIndex> ensured_indexes();

// "WorkON", "workon.db" and "WorkOn.DB" are one table; so are "Ctrller" and "ctrller.DB".
bool same_table_name(std::string_view a, std::string_view b);
bool same_column_name(std::string_view a, std::string_view b);
// The name without a trailing ".db" extension (any letter case).
std::string_view table_stem(std::string_view name);

}  // namespace vaq::db::schema
