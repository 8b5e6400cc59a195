#include "db/schema.h"

#include <array>

#include "common/text.h"

namespace vaq::db::schema {

namespace {

using T = ColumnType;
using Key = std::string_view;

// Shorthands for the kinds of column entry the layouts below need.
constexpr ColumnLayout used(std::string_view name, ColumnType type, int size = 0) {
    return {name, type, size, false, false, 0, {}};
}
constexpr ColumnLayout added_only(std::string_view name, ColumnType type, int size = 0) {
    return {name, type, size, false, true, 0, {}};
}
constexpr ColumnLayout created(std::string_view name, ColumnType type, int size = 0) {
    return {name, type, size, true, false, 0, {}};
}
constexpr ColumnLayout created_and_added(std::string_view name, ColumnType type, int size = 0,
                                         int addedSize = 0) {
    return {name, type, size, true, true, addedSize, {}};
}

// A column that holds the key values of `target`.
constexpr ColumnLayout naming(ColumnLayout column, ColumnRef target) {
    column.refersTo = target;
    return column;
}
constexpr ColumnRef kControllerKeyColumn{Ctrller::kTable, Ctrller::ControllerID};
constexpr ColumnRef kDoorKeyColumn{Door::kTable, Door::DoorID};
constexpr ColumnRef kStaffKeyColumn{Personal::kTable, Personal::PersonalID};

// ---- Group 1 --------------------------------------------------------------------------------

constexpr std::array kCtrller = {
    used(Ctrller::ID, T::kNumber),
    used(Ctrller::ControllerID, T::kNumber),
    added_only(Ctrller::ConnectMethod, T::kSmallInt),
    added_only(Ctrller::ReadCardFormat, T::kSmallInt),
    added_only(Ctrller::CardMask, T::kChar, 20),
    added_only(Ctrller::PresentCardDelay, T::kInteger),
    added_only(Ctrller::EnablePanicPIN, T::kBoolean),
    added_only(Ctrller::PanicPIN, T::kChar, 4),
    added_only(Ctrller::UDP_HOST, T::kChar, 50),
    added_only(Ctrller::UDP_PORT, T::kFloat),
    added_only(Ctrller::EnableAutoAdjTime, T::kBoolean),
    added_only(Ctrller::WinterTriggerTime, T::kTime),
    added_only(Ctrller::WinterTriggerDate, T::kDate),
    added_only(Ctrller::SummerTriggerTime, T::kTime),
    added_only(Ctrller::SummerTriggerDate, T::kDate),
    added_only(Ctrller::WinterHour, T::kInteger),
    added_only(Ctrller::SummerHour, T::kInteger),
    added_only(Ctrller::AllowAnyCard, T::kBoolean),
    added_only(Ctrller::PhoneNumber, T::kChar, 30),
};

constexpr std::array kDoor = {
    used(Door::DoorID, T::kAutoInc),
    naming(used(Door::ControllerID, T::kSmallInt), kControllerKeyColumn),
    used(Door::ID, T::kSmallInt),
    used(Door::Name, T::kChar, 30),
    used(Door::DoorOpenTime, T::kSmallInt),
    used(Door::DoorMode, T::kSmallInt),
    used(Door::ForceDoorOpenTimeTbl, T::kSmallInt),
    used(Door::CancelPINTimeTbl, T::kSmallInt),
    used(Door::MonitorTime, T::kSmallInt),
    used(Door::PIN, T::kBoolean),
    used(Door::AntiPassBack, T::kBoolean),
    used(Door::Holiday, T::kBoolean),
    used(Door::InReaderSN, T::kChar, 8),
    used(Door::OutReaderSN, T::kChar, 8),
    used(Door::DoorRelaySN, T::kChar, 8),
    added_only(Door::MainEntrance, T::kBoolean),
    added_only(Door::ForceDoorCloseTimeTbl, T::kSmallInt),
    added_only(Door::DoorPIN, T::kChar, 10),
    added_only(Door::DoorPINEnableTimeTable, T::kSmallInt),
    added_only(Door::IsSupportEMCard, T::kBoolean),
};
constexpr std::array<Key, 1> kDoorKey = {Door::DoorID};
constexpr std::array kDoorIndexes = {IndexLayout{Door::ControlID, Door::ControllerID}};

constexpr std::array kPersonal = {
    used(Personal::PersonalID, T::kNumber),
    used(Personal::CardID, T::kText),
    added_only(Personal::StaffID, T::kChar, 20),
    used(Personal::Department, T::kText),
    added_only(Personal::DeptID, T::kSmallInt),
    added_only(Personal::HomePhoneNum, T::kChar, 20),
    added_only(Personal::MobilePhoneNum, T::kChar, 20),
    added_only(Personal::DateOfBirth, T::kDate),
    added_only(Personal::Nationality, T::kChar, 40),
    added_only(Personal::EmergencyContactPerson, T::kChar, 20),
    added_only(Personal::EmergencyContactNum, T::kChar, 20),
    added_only(Personal::Address1, T::kChar, 200),
    added_only(Personal::Address2, T::kChar, 200),
    added_only(Personal::Comment1, T::kChar, 200),
    added_only(Personal::Comment2, T::kChar, 200),
    added_only(Personal::RelationToEmployee, T::kChar, 200),
    added_only(Personal::LastDoorName, T::kChar, 20),
    added_only(Personal::DoorAccessStatus, T::kChar, 20),
    naming(added_only(Personal::LastDoorID, T::kSmallInt), kDoorKeyColumn),
    added_only(Personal::LastAccessDate, T::kDate),
    added_only(Personal::LastAccessTime, T::kTime),
};

constexpr std::array kTransact = {
    used(Transact::TransID, T::kNumber),
    used(Transact::TDate, T::kDate),
    used(Transact::TTime, T::kTime),
    naming(used(Transact::ControllerID, T::kNumber), kControllerKeyColumn),
    naming(used(Transact::DoorID, T::kNumber), kDoorKeyColumn),
    used(Transact::Door, T::kText),
    used(Transact::CardID, T::kText, Transact::kCardIDMinWidth),
    naming(used(Transact::PersonalID, T::kNumber), kStaffKeyColumn),
    used(Transact::StaffID, T::kText),
    used(Transact::EventID, T::kNumber),
    added_only(Transact::DT, T::kDateTime),
};
constexpr std::array kTransactIndexes = {IndexLayout{Transact::idx_TransTDate, Transact::TDate}};

constexpr std::array kHoliday = {
    used(Holiday::HolidayID, T::kAutoInc),          used(Holiday::TDate, T::kDate),
    used(Holiday::TimeZoneID, T::kSmallInt),        used(Holiday::HolidayType, T::kSmallInt),
    added_only(Holiday::HolidayName, T::kChar, 20),
};
constexpr std::array kHolidayIndexes = {IndexLayout{Holiday::idx_TDate, Holiday::TDate}};

constexpr std::array kSecMas = {
    used(SecMas::SecurityGroupID, T::kAutoInc),
    used(SecMas::SecurityGroupName, T::kChar, 30),
    added_only(SecMas::WorkingHourStart, T::kTime),
    added_only(SecMas::CarParkCount, T::kSmallInt),
    added_only(SecMas::CarParkBalance, T::kSmallInt),
};
constexpr std::array kSecMasIndexes = {IndexLayout{SecMas::idx_SecName, SecMas::SecurityGroupName}};

constexpr std::array kUser = {
    added_only(User::FireReportIn, T::kBoolean),
    added_only(User::FireReportOut, T::kBoolean),
    added_only(User::CardListDetail, T::kBoolean),
    added_only(User::TimeAttendance, T::kBoolean),
    added_only(User::FirstInRpt, T::kBoolean),
    added_only(User::LastOutRpt, T::kBoolean),
    added_only(User::FirstINLastOutRpt, T::kBoolean),
    added_only(User::EventAlertRpt, T::kBoolean),
    added_only(User::LateRpt, T::kBoolean),
    added_only(User::EarlyLeaveRpt, T::kBoolean),
    added_only(User::AttendanceRpt, T::kBoolean),
    added_only(User::Department, T::kBoolean),
    added_only(User::DBBackup, T::kBoolean),
    added_only(User::DBRestore, T::kBoolean),
    added_only(User::DoorAccessControl, T::kBoolean),
    added_only(User::PatrolReport, T::kBoolean),
    added_only(User::StopScan, T::kBoolean),
    added_only(User::LocMapSetupMode, T::kBoolean),
    added_only(User::LocMapUserMode, T::kBoolean),
    added_only(User::PersonalData, T::kBoolean),
};

// The layout the upgrade gives AntiPassBack.db when it replaces the table.
constexpr std::array kAntiPassBack = {
    created(AntiPassBack::Pkey, T::kAutoInc),
    created(AntiPassBack::ControllerID, T::kSmallInt),
    created(AntiPassBack::FromDoorID, T::kSmallInt),
    created(AntiPassBack::FromDirection, T::kSmallInt),
    created(AntiPassBack::ToDOorID, T::kSmallInt),
    created(AntiPassBack::ToDirection, T::kSmallInt),
};
constexpr std::array<Key, 1> kAntiPassBackKey = {AntiPassBack::Pkey};
constexpr std::array kAntiPassBackIndexes = {
    IndexLayout{AntiPassBack::idx_CID, AntiPassBack::ControllerID}};

constexpr std::array kEvents = {used(events::EventID, T::kNumber), used(events::Events, T::kText)};
constexpr std::array kMessForm = {used(MessForm::MessID, T::kNumber)};
constexpr std::array kMessSys = {used(MessSys::MessID, T::kNumber)};

// ---- Group 2 --------------------------------------------------------------------------------

constexpr std::array kEmcardMas = {
    created(EMCARD_MAS::CardID, T::kChar, 20),
    created(EMCARD_MAS::Description, T::kChar, 40),
};
constexpr std::array<Key, 1> kEmcardMasKey = {EMCARD_MAS::CardID};

constexpr std::array kEmcardDet = {
    created(EMCARD_DET::CardID, T::kChar, 20),
    created(EMCARD_DET::ControllerID, T::kSmallInt),
    created(EMCARD_DET::DoorID, T::kSmallInt),
};

constexpr std::array kCardFormat = {
    created(CardFormat::FormatIndex, T::kSmallInt),
    created(CardFormat::FormatName, T::kChar, 30),
};

constexpr std::array kDoorTree = {
    created(DoorTree::PKey, T::kAutoInc),
    created(DoorTree::DoorID, T::kSmallInt),
    created(DoorTree::ParentDoorID, T::kSmallInt),
};
constexpr std::array<Key, 1> kDoorTreeKey = {DoorTree::PKey};

constexpr std::array kWorkOn = {
    created(WorkOn::DeptID, T::kSmallInt),   created(WorkOn::WorkONKey, T::kAutoInc),
    created(WorkOn::WorkOnMOn, T::kBoolean), created(WorkOn::WorkOnTue, T::kBoolean),
    created(WorkOn::WorkOnWed, T::kBoolean), created(WorkOn::WorkOnThur, T::kBoolean),
    created(WorkOn::WorkOnFri, T::kBoolean), created(WorkOn::WorkOnSat, T::kBoolean),
    created(WorkOn::WorkOnSun, T::kBoolean), added_only(WorkOn::DeptName, T::kChar, 20),
};
constexpr std::array<Key, 1> kWorkOnKey = {WorkOn::DeptID};
constexpr std::array kWorkOnIndexes = {IndexLayout{WorkOn::idx_DeptName, WorkOn::DeptName}};

constexpr std::array kLeaveType = {
    created(LeaveType::LeaveTypeID, T::kSmallInt),
    created(LeaveType::LeaveTypeName, T::kChar, 40),
};
constexpr std::array<Key, 1> kLeaveTypeKey = {LeaveType::LeaveTypeID};

constexpr std::array kLeave = {
    created(Leave::idLeave, T::kSmallInt),       created(Leave::StaffID, T::kChar, 20),
    created(Leave::SickLeave, T::kBoolean),      created(Leave::AnnualLeave, T::kBoolean),
    created(Leave::HalfDayLeave, T::kBoolean),   created(Leave::AfterNoonLeave, T::kBoolean),
    created(Leave::MaternityLeave, T::kBoolean), created(Leave::LeaveDateTime, T::kDate),
    created(Leave::LeaveTypeID, T::kSmallInt),   created(Leave::Remarks, T::kChar, 255),
};
constexpr std::array<Key, 1> kLeaveKey = {Leave::idLeave};
// idx_LeaveDate exists only between the two index steps of the upgrade on this table.
constexpr std::array kLeaveIndexes = {IndexLayout{Leave::idx_StaffID, Leave::StaffID}};

constexpr std::array kStaffTimeTbl = {
    created(StaffTimeTbl::StaffID, T::kChar, 20),
    created("MonS", T::kTime),
    created("MonE", T::kTime),
    created("TueS", T::kTime),
    created("TueE", T::kTime),
    created("WedS", T::kTime),
    created("WedE", T::kTime),
    created("ThurS", T::kTime),
    created("ThurE", T::kTime),
    created("FriS", T::kTime),
    created("SatS", T::kTime),
    created("SatE", T::kTime),
    created("SunS", T::kTime),
    created("SunE", T::kTime),
    created("MonL", T::kTime),
    created("TueL", T::kTime),
    created("WedL", T::kTime),
    created("ThurL", T::kTime),
    created("FriL", T::kTime),
    created("SatL", T::kTime),
    created("SunL", T::kTime),
    created("FriE", T::kTime),
};
constexpr std::array<Key, 1> kStaffTimeTblKey = {StaffTimeTbl::StaffID};

constexpr std::array kDeptTimeTable = {
    created(DeptTimeTable::DeptTimeTableID, T::kSmallInt),
    created("MonS", T::kTime),
    created("TueS", T::kTime),
    created("WedS", T::kTime),
    created("ThurS", T::kTime),
    created("FriS", T::kTime),
    created("SatS", T::kTime),
    created("SunS", T::kTime),
    created("MonE", T::kTime),
    created("TueE", T::kTime),
    created("WedE", T::kTime),
    created("ThurE", T::kTime),
    created("SatE", T::kTime),
    created("SunE", T::kTime),
    created("MonL", T::kTime),
    created("TueL", T::kTime),
    created("WedL", T::kTime),
    created("ThurL", T::kTime),
    created("FriL", T::kTime),
    created("SatL", T::kTime),
    created("SunL", T::kTime),
    created("FriE", T::kTime),
    added_only(DeptTimeTable::DeptName, T::kChar, 20),
};
constexpr std::array<Key, 1> kDeptTimeTableKey = {DeptTimeTable::DeptTimeTableID};
constexpr std::array kDeptTimeTableIndexes = {
    IndexLayout{DeptTimeTable::idx_DeptName, DeptTimeTable::DeptName}};

constexpr std::array kDepartment = {
    created(Department::DeptID, T::kSmallInt),
    created(Department::DeptName, T::kChar, 40),
    created(Department::LateAllowance, T::kSmallInt),
    created(Department::EnableLateAllowance, T::kBoolean),
    added_only(Department::RoundOTMin, T::kSmallInt),
};
constexpr std::array kDepartmentIndexes = {
    IndexLayout{Department::idx_DeptName, Department::DeptName}};

constexpr std::array kAttendance = {
    created(attendance::TheDate, T::kDate),        created(attendance::StaffID, T::kChar, 20),
    created(attendance::InTime, T::kTime),         created(attendance::OutTime, T::kTime),
    created(attendance::LateMin, T::kSmallInt),    created(attendance::EarlyLeaveMin, T::kSmallInt),
    created(attendance::OT, T::kSmallInt),         created(attendance::StartWorkingTime, T::kTime),
    created(attendance::EndWorkingTime, T::kTime), created(attendance::Status, T::kChar, 40),
};

constexpr std::array kSGCountTbl = {
    created(SGCountTbl::ID, T::kAutoInc),
    created(SGCountTbl::SGCount, T::kSmallInt),
    created(SGCountTbl::ConID, T::kSmallInt),
    created(SGCountTbl::SecGroupID, T::kSmallInt),
};
constexpr std::array<Key, 1> kSGCountTblKey = {SGCountTbl::ID};

constexpr std::array kActiveRelay = {
    created(ActiveRelay::ID, T::kAutoInc),
    created_and_added(ActiveRelay::FromCardID, T::kChar, 20),
    created_and_added(ActiveRelay::ToCardID, T::kChar, 20),
    created_and_added(ActiveRelay::ActiveRelay, T::kSmallInt),
    created_and_added(ActiveRelay::EventID, T::kSmallInt),
    created_and_added(ActiveRelay::RelayID, T::kSmallInt),
    created_and_added(ActiveRelay::ConID, T::kSmallInt),
    added_only(ActiveRelay::FromDoorID, T::kSmallInt),
    added_only(ActiveRelay::ToDoorID, T::kSmallInt),
    added_only(ActiveRelay::DoorIn, T::kBoolean),
    added_only(ActiveRelay::DoorOut, T::kBoolean),
};
constexpr std::array<Key, 1> kActiveRelayKey = {ActiveRelay::ID};
constexpr std::array kActiveRelayIndexes = {
    IndexLayout{ActiveRelay::idx_EventID, ActiveRelay::EventID}};

constexpr std::array kDoorStatus = {
    naming(created(DoorStatus::DoorID, T::kSmallInt), kDoorKeyColumn),
    created(DoorStatus::Status, T::kSmallInt),
};
constexpr std::array<Key, 2> kDoorStatusKey = {DoorStatus::DoorID, DoorStatus::Status};

constexpr std::array kLQ = {
    created_and_added(LQ::StaffID, T::kChar, 20),
    created_and_added(LQ::CardID, T::kChar, 20),
    created_and_added(LQ::Name, T::kChar, 40, 20),
    created_and_added(LQ::department, T::kChar, 40),
    created_and_added(LQ::TDate, T::kDate),
    created_and_added(LQ::InTime, T::kTime),
    created_and_added(LQ::OutTime, T::kTime),
    created_and_added(LQ::LateMin, T::kSmallInt),
    created_and_added(LQ::EarlyLeaveMin, T::kSmallInt),
    created_and_added(LQ::I, T::kAutoInc),
    created_and_added(LQ::WokringHourStart, T::kTime),
    created_and_added(LQ::OT, T::kSmallInt),
    created_and_added(LQ::Status, T::kChar, 40),
    created(LQ::DateName, T::kChar, 40),
    added_only(LQ::TTime, T::kTime),
    added_only(LQ::DateTime, T::kChar, 40),
};

constexpr std::array kFILORPT = {
    created(FILORPT::StaffID, T::kChar, 20), created(FILORPT::CardID, T::kChar, 20),
    created(FILORPT::Name, T::kChar, 40),    created(FILORPT::TDate, T::kDate),
    created(FILORPT::InTime, T::kTime),      created(FILORPT::OutTime, T::kTime),
    created(FILORPT::TotalHr, T::kFloat),
};

constexpr std::array kLocationMap = {
    created(LocationMap::MyDoorID, T::kSmallInt),
    created(LocationMap::MapDoorID, T::kSmallInt),
    created(LocationMap::MapControllerID, T::kSmallInt),
    created(LocationMap::LeftImageLoc, T::kSmallInt),
    created(LocationMap::TopImageLoc, T::kSmallInt),
    created(LocationMap::DoorName, T::kChar, 20),
};
constexpr std::array<Key, 1> kLocationMapKey = {LocationMap::MyDoorID};

constexpr std::array kEmailAlert = {
    created(EmailAlert::pkey, T::kAutoInc),
    created_and_added(EmailAlert::PName, T::kChar, 20),
    created_and_added(EmailAlert::emailaddress, T::kChar, 30, 20),
    created_and_added(EmailAlert::EventID, T::kSmallInt),
};
constexpr std::array<Key, 1> kEmailAlertKey = {EmailAlert::pkey};
constexpr std::array kEmailAlertIndexes = {
    IndexLayout{EmailAlert::idx_EventID, EmailAlert::EventID}};

// ---- All tables -----------------------------------------------------------------------------

constexpr std::span<const std::string_view> kNoKey;
constexpr std::span<const IndexLayout> kNoIndexes;

constexpr TableLayout group1(std::string_view name, std::span<const ColumnLayout> columns,
                             std::span<const std::string_view> key = kNoKey,
                             std::span<const IndexLayout> indexes = kNoIndexes) {
    return {name, TableGroup::kAccessControl, columns, key, indexes};
}

constexpr TableLayout group2(std::string_view name, std::span<const ColumnLayout> columns,
                             std::span<const std::string_view> key = kNoKey,
                             std::span<const IndexLayout> indexes = kNoIndexes) {
    return {name, TableGroup::kCreatedByUpgrade, columns, key, indexes};
}

constexpr TableLayout work(std::string_view name) {
    return {name, TableGroup::kWork, {}, kNoKey, kNoIndexes};
}

constexpr std::array kTables = {
    group1(Ctrller::kTable, kCtrller),
    group1(Door::kTable, kDoor, kDoorKey, kDoorIndexes),
    group1(Personal::kTable, kPersonal),
    group1(Transact::kTable, kTransact, kNoKey, kTransactIndexes),
    group1(Holiday::kTable, kHoliday, kNoKey, kHolidayIndexes),
    group1(SecMas::kTable, kSecMas, kNoKey, kSecMasIndexes),
    group1(User::kTable, kUser),
    group1(AntiPassBack::kTable, kAntiPassBack, kAntiPassBackKey, kAntiPassBackIndexes),
    group1(events::kTable, kEvents),
    group1(MessForm::kTable, kMessForm),
    group1(MessSys::kTable, kMessSys),
    group2(EMCARD_MAS::kTable, kEmcardMas, kEmcardMasKey),
    group2(EMCARD_DET::kTable, kEmcardDet),
    group2(CardFormat::kTable, kCardFormat),
    group2(DoorTree::kTable, kDoorTree, kDoorTreeKey),
    group2(WorkOn::kTable, kWorkOn, kWorkOnKey, kWorkOnIndexes),
    group2(LeaveType::kTable, kLeaveType, kLeaveTypeKey),
    group2(Leave::kTable, kLeave, kLeaveKey, kLeaveIndexes),
    group2(StaffTimeTbl::kTable, kStaffTimeTbl, kStaffTimeTblKey),
    group2(DeptTimeTable::kTable, kDeptTimeTable, kDeptTimeTableKey, kDeptTimeTableIndexes),
    group2(Department::kTable, kDepartment, kNoKey, kDepartmentIndexes),
    group2(attendance::kTable, kAttendance),
    group2(SGCountTbl::kTable, kSGCountTbl, kSGCountTblKey),
    group2(ActiveRelay::kTable, kActiveRelay, kActiveRelayKey, kActiveRelayIndexes),
    group2(DoorStatus::kTable, kDoorStatus, kDoorStatusKey),
    group2(LQ::kTable, kLQ),
    group2(FILORPT::kTable, kFILORPT),
    group2(LocationMap::kTable, kLocationMap, kLocationMapKey),
    group2(EmailAlert::kTable, kEmailAlert, kEmailAlertKey, kEmailAlertIndexes),
    work(work::tmpdb),
    work(work::VERIFY),
    work(work::Rebuild),
    work(work::Backup),
    work(work::KEYVIOL),
    work(work::PROBLEM),
};

constexpr std::array kTableObjects = {
    TableObject{"Controller", Ctrller::kTable},
    TableObject{"Door", Door::kTable},
    TableObject{"Personnel", Personal::kTable},
    TableObject{"Transaction", Transact::kTable},
    TableObject{"Department", "Department.DB"},
    TableObject{"Holiday", Holiday::kTable},
    TableObject{"SecurityMaster", SecMas::kTable},
    TableObject{"AntiPassBack", AntiPassBack::kTable},
    TableObject{"EmailAlert", EmailAlert::kTable},
    TableObject{"ActiveRelay", ActiveRelay::kTable},
    TableObject{"Leave", "Leave.DB"},
    TableObject{"WorkOn", "WorkON.DB"},
    TableObject{"DeptTimeTbl", "DeptTimeTable.DB"},
    TableObject{"Table1", ""},
};

constexpr std::array kEnsuredIndexes = {
    EnsuredIndex{"DeptTimeTbl", "DeptTimeTable.DB", "idx_DeptName", "idx_DeptName", "DeptName"},
    EnsuredIndex{"WorkOn", "WorkON.DB", "idx_DeptName", "idx_DeptName", "DeptName"},
    EnsuredIndex{"Department", "Department.DB", "idx_DeptName", "idx_DeptName", "DeptName"},
    EnsuredIndex{"Leave", "Leave.DB", "idx_LeaveDate", "idx_LeaveDate", "LeaveDateTime"},
    EnsuredIndex{"SecurityMaster", "SecMas.DB", "idx_SecName", "idx_SecName", "SecurityGroupName"},
    EnsuredIndex{"Holiday", "Holiday.db", "idx_Tdate", "idx_TDate", "TDate"},
    EnsuredIndex{"Transaction", "Transact.db", "idx_TransTDate", "idx_TransTDate", "TDate"},
    EnsuredIndex{"AntiPassBack", "AntiPassBack.db", "idx_CID", "idx_CID", "ControllerID"},
    EnsuredIndex{"EmailAlert", "EmailAlert.DB", "idx_EventID", "idx_EventID", "EventID"},
    EnsuredIndex{"ActiveRelay", "ActiveRelay.DB", "idx_EventID", "idx_EventID", "EventID"},
    EnsuredIndex{"Leave", "Leave.DB", "idx_StaffID", "idx_StaffID", "StaffID"},
};

}  // namespace

std::span<const TableLayout> tables() {
    return kTables;
}

std::string_view table_stem(std::string_view name) {
    if (name.size() >= 3 && iequals(name.substr(name.size() - 3), ".db")) name.remove_suffix(3);
    return name;
}

bool same_table_name(std::string_view a, std::string_view b) {
    return iequals(table_stem(a), table_stem(b));
}

bool same_column_name(std::string_view a, std::string_view b) {
    return iequals(a, b);
}

const TableLayout* find_table(std::string_view name) {
    for (const TableLayout& table : kTables)
        if (same_table_name(table.name, name)) return &table;
    return nullptr;
}

const ColumnLayout* find_column(const TableLayout& table, std::string_view name) {
    for (const ColumnLayout& column : table.columns)
        if (same_column_name(column.name, name)) return &column;
    return nullptr;
}

std::vector<ColumnRef> references_to(std::string_view table, std::string_view column) {
    std::vector<ColumnRef> found;
    for (const TableLayout& layout : kTables)
        for (const ColumnLayout& candidate : layout.columns)
            if (!candidate.refersTo.table.empty() &&
                same_table_name(candidate.refersTo.table, table) &&
                same_column_name(candidate.refersTo.column, column))
                found.push_back({layout.name, candidate.name});
    return found;
}

std::span<const TableObject> table_objects() {
    return kTableObjects;
}

std::span<const EnsuredIndex> ensured_indexes() {
    return kEnsuredIndexes;
}

}  // namespace vaq::db::schema
