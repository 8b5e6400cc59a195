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
constexpr ColumnLayout addedOnly(std::string_view name, ColumnType type, int size = 0) {
    return {name, type, size, false, true, 0, {}};
}
constexpr ColumnLayout created(std::string_view name, ColumnType type, int size = 0) {
    return {name, type, size, true, false, 0, {}};
}
constexpr ColumnLayout createdAndAdded(std::string_view name, ColumnType type, int size = 0,
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
    used(Ctrller::ID, T::Number),
    used(Ctrller::ControllerID, T::Number),
    addedOnly(Ctrller::ConnectMethod, T::SmallInt),
    addedOnly(Ctrller::ReadCardFormat, T::SmallInt),
    addedOnly(Ctrller::CardMask, T::Char, 20),
    addedOnly(Ctrller::PresentCardDelay, T::Integer),
    addedOnly(Ctrller::EnablePanicPIN, T::Boolean),
    addedOnly(Ctrller::PanicPIN, T::Char, 4),
    addedOnly(Ctrller::UDP_HOST, T::Char, 50),
    addedOnly(Ctrller::UDP_PORT, T::Float),
    addedOnly(Ctrller::EnableAutoAdjTime, T::Boolean),
    addedOnly(Ctrller::WinterTriggerTime, T::Time),
    addedOnly(Ctrller::WinterTriggerDate, T::Date),
    addedOnly(Ctrller::SummerTriggerTime, T::Time),
    addedOnly(Ctrller::SummerTriggerDate, T::Date),
    addedOnly(Ctrller::WinterHour, T::Integer),
    addedOnly(Ctrller::SummerHour, T::Integer),
    addedOnly(Ctrller::AllowAnyCard, T::Boolean),
    addedOnly(Ctrller::PhoneNumber, T::Char, 30),
};

constexpr std::array kDoor = {
    used(Door::DoorID, T::AutoInc),
    naming(used(Door::ControllerID, T::SmallInt), kControllerKeyColumn),
    used(Door::ID, T::SmallInt),
    used(Door::Name, T::Char, 30),
    used(Door::DoorOpenTime, T::SmallInt),
    used(Door::DoorMode, T::SmallInt),
    used(Door::ForceDoorOpenTimeTbl, T::SmallInt),
    used(Door::CancelPINTimeTbl, T::SmallInt),
    used(Door::MonitorTime, T::SmallInt),
    used(Door::PIN, T::Boolean),
    used(Door::AntiPassBack, T::Boolean),
    used(Door::Holiday, T::Boolean),
    used(Door::InReaderSN, T::Char, 8),
    used(Door::OutReaderSN, T::Char, 8),
    used(Door::DoorRelaySN, T::Char, 8),
    addedOnly(Door::MainEntrance, T::Boolean),
    addedOnly(Door::ForceDoorCloseTimeTbl, T::SmallInt),
    addedOnly(Door::DoorPIN, T::Char, 10),
    addedOnly(Door::DoorPINEnableTimeTable, T::SmallInt),
    addedOnly(Door::IsSupportEMCard, T::Boolean),
};
constexpr std::array<Key, 1> kDoorKey = {Door::DoorID};
constexpr std::array kDoorIndexes = {IndexLayout{Door::ControlID, Door::ControllerID}};

constexpr std::array kPersonal = {
    used(Personal::PersonalID, T::Number),
    used(Personal::CardID, T::Text),
    addedOnly(Personal::StaffID, T::Char, 20),
    used(Personal::Department, T::Text),
    addedOnly(Personal::DeptID, T::SmallInt),
    addedOnly(Personal::HomePhoneNum, T::Char, 20),
    addedOnly(Personal::MobilePhoneNum, T::Char, 20),
    addedOnly(Personal::DateOfBirth, T::Date),
    addedOnly(Personal::Nationality, T::Char, 40),
    addedOnly(Personal::EmergencyContactPerson, T::Char, 20),
    addedOnly(Personal::EmergencyContactNum, T::Char, 20),
    addedOnly(Personal::Address1, T::Char, 200),
    addedOnly(Personal::Address2, T::Char, 200),
    addedOnly(Personal::Comment1, T::Char, 200),
    addedOnly(Personal::Comment2, T::Char, 200),
    addedOnly(Personal::RelationToEmployee, T::Char, 200),
    addedOnly(Personal::LastDoorName, T::Char, 20),
    addedOnly(Personal::DoorAccessStatus, T::Char, 20),
    naming(addedOnly(Personal::LastDoorID, T::SmallInt), kDoorKeyColumn),
    addedOnly(Personal::LastAccessDate, T::Date),
    addedOnly(Personal::LastAccessTime, T::Time),
};

constexpr std::array kTransact = {
    used(Transact::TransID, T::Number),
    used(Transact::TDate, T::Date),
    used(Transact::TTime, T::Time),
    naming(used(Transact::ControllerID, T::Number), kControllerKeyColumn),
    naming(used(Transact::DoorID, T::Number), kDoorKeyColumn),
    used(Transact::Door, T::Text),
    used(Transact::CardID, T::Text, Transact::kCardIDMinWidth),
    naming(used(Transact::PersonalID, T::Number), kStaffKeyColumn),
    used(Transact::StaffID, T::Text),
    used(Transact::EventID, T::Number),
    addedOnly(Transact::DT, T::DateTime),
};
constexpr std::array kTransactIndexes = {IndexLayout{Transact::idx_TransTDate, Transact::TDate}};

constexpr std::array kHoliday = {
    used(Holiday::HolidayID, T::AutoInc),         used(Holiday::TDate, T::Date),
    used(Holiday::TimeZoneID, T::SmallInt),       used(Holiday::HolidayType, T::SmallInt),
    addedOnly(Holiday::HolidayName, T::Char, 20),
};
constexpr std::array kHolidayIndexes = {IndexLayout{Holiday::idx_TDate, Holiday::TDate}};

constexpr std::array kSecMas = {
    used(SecMas::SecurityGroupID, T::AutoInc),      used(SecMas::SecurityGroupName, T::Char, 30),
    addedOnly(SecMas::WorkingHourStart, T::Time),   addedOnly(SecMas::CarParkCount, T::SmallInt),
    addedOnly(SecMas::CarParkBalance, T::SmallInt),
};
constexpr std::array kSecMasIndexes = {IndexLayout{SecMas::idx_SecName, SecMas::SecurityGroupName}};

constexpr std::array kUser = {
    addedOnly(User::FireReportIn, T::Boolean),      addedOnly(User::FireReportOut, T::Boolean),
    addedOnly(User::CardListDetail, T::Boolean),    addedOnly(User::TimeAttendance, T::Boolean),
    addedOnly(User::FirstInRpt, T::Boolean),        addedOnly(User::LastOutRpt, T::Boolean),
    addedOnly(User::FirstINLastOutRpt, T::Boolean), addedOnly(User::EventAlertRpt, T::Boolean),
    addedOnly(User::LateRpt, T::Boolean),           addedOnly(User::EarlyLeaveRpt, T::Boolean),
    addedOnly(User::AttendanceRpt, T::Boolean),     addedOnly(User::Department, T::Boolean),
    addedOnly(User::DBBackup, T::Boolean),          addedOnly(User::DBRestore, T::Boolean),
    addedOnly(User::DoorAccessControl, T::Boolean), addedOnly(User::PatrolReport, T::Boolean),
    addedOnly(User::StopScan, T::Boolean),          addedOnly(User::LocMapSetupMode, T::Boolean),
    addedOnly(User::LocMapUserMode, T::Boolean),    addedOnly(User::PersonalData, T::Boolean),
};

// The layout the upgrade gives AntiPassBack.db when it replaces the table.
constexpr std::array kAntiPassBack = {
    created(AntiPassBack::Pkey, T::AutoInc),
    created(AntiPassBack::ControllerID, T::SmallInt),
    created(AntiPassBack::FromDoorID, T::SmallInt),
    created(AntiPassBack::FromDirection, T::SmallInt),
    created(AntiPassBack::ToDOorID, T::SmallInt),
    created(AntiPassBack::ToDirection, T::SmallInt),
};
constexpr std::array<Key, 1> kAntiPassBackKey = {AntiPassBack::Pkey};
constexpr std::array kAntiPassBackIndexes = {
    IndexLayout{AntiPassBack::idx_CID, AntiPassBack::ControllerID}};

constexpr std::array kEvents = {used(events::EventID, T::Number), used(events::Events, T::Text)};
constexpr std::array kMessForm = {used(MessForm::MessID, T::Number)};
constexpr std::array kMessSys = {used(MessSys::MessID, T::Number)};

// ---- Group 2 --------------------------------------------------------------------------------

constexpr std::array kEmcardMas = {
    created(EMCARD_MAS::CardID, T::Char, 20),
    created(EMCARD_MAS::Description, T::Char, 40),
};
constexpr std::array<Key, 1> kEmcardMasKey = {EMCARD_MAS::CardID};

constexpr std::array kEmcardDet = {
    created(EMCARD_DET::CardID, T::Char, 20),
    created(EMCARD_DET::ControllerID, T::SmallInt),
    created(EMCARD_DET::DoorID, T::SmallInt),
};

constexpr std::array kCardFormat = {
    created(CardFormat::FormatIndex, T::SmallInt),
    created(CardFormat::FormatName, T::Char, 30),
};

constexpr std::array kDoorTree = {
    created(DoorTree::PKey, T::AutoInc),
    created(DoorTree::DoorID, T::SmallInt),
    created(DoorTree::ParentDoorID, T::SmallInt),
};
constexpr std::array<Key, 1> kDoorTreeKey = {DoorTree::PKey};

constexpr std::array kWorkOn = {
    created(WorkOn::DeptID, T::SmallInt),   created(WorkOn::WorkONKey, T::AutoInc),
    created(WorkOn::WorkOnMOn, T::Boolean), created(WorkOn::WorkOnTue, T::Boolean),
    created(WorkOn::WorkOnWed, T::Boolean), created(WorkOn::WorkOnThur, T::Boolean),
    created(WorkOn::WorkOnFri, T::Boolean), created(WorkOn::WorkOnSat, T::Boolean),
    created(WorkOn::WorkOnSun, T::Boolean), addedOnly(WorkOn::DeptName, T::Char, 20),
};
constexpr std::array<Key, 1> kWorkOnKey = {WorkOn::DeptID};
constexpr std::array kWorkOnIndexes = {IndexLayout{WorkOn::idx_DeptName, WorkOn::DeptName}};

constexpr std::array kLeaveType = {
    created(LeaveType::LeaveTypeID, T::SmallInt),
    created(LeaveType::LeaveTypeName, T::Char, 40),
};
constexpr std::array<Key, 1> kLeaveTypeKey = {LeaveType::LeaveTypeID};

constexpr std::array kLeave = {
    created(Leave::idLeave, T::SmallInt),       created(Leave::StaffID, T::Char, 20),
    created(Leave::SickLeave, T::Boolean),      created(Leave::AnnualLeave, T::Boolean),
    created(Leave::HalfDayLeave, T::Boolean),   created(Leave::AfterNoonLeave, T::Boolean),
    created(Leave::MaternityLeave, T::Boolean), created(Leave::LeaveDateTime, T::Date),
    created(Leave::LeaveTypeID, T::SmallInt),   created(Leave::Remarks, T::Char, 255),
};
constexpr std::array<Key, 1> kLeaveKey = {Leave::idLeave};
// idx_LeaveDate exists only between the two index steps of the upgrade on this table.
constexpr std::array kLeaveIndexes = {IndexLayout{Leave::idx_StaffID, Leave::StaffID}};

constexpr std::array kStaffTimeTbl = {
    created(StaffTimeTbl::StaffID, T::Char, 20),
    created("MonS", T::Time),
    created("MonE", T::Time),
    created("TueS", T::Time),
    created("TueE", T::Time),
    created("WedS", T::Time),
    created("WedE", T::Time),
    created("ThurS", T::Time),
    created("ThurE", T::Time),
    created("FriS", T::Time),
    created("SatS", T::Time),
    created("SatE", T::Time),
    created("SunS", T::Time),
    created("SunE", T::Time),
    created("MonL", T::Time),
    created("TueL", T::Time),
    created("WedL", T::Time),
    created("ThurL", T::Time),
    created("FriL", T::Time),
    created("SatL", T::Time),
    created("SunL", T::Time),
    created("FriE", T::Time),
};
constexpr std::array<Key, 1> kStaffTimeTblKey = {StaffTimeTbl::StaffID};

constexpr std::array kDeptTimeTable = {
    created(DeptTimeTable::DeptTimeTableID, T::SmallInt),
    created("MonS", T::Time),
    created("TueS", T::Time),
    created("WedS", T::Time),
    created("ThurS", T::Time),
    created("FriS", T::Time),
    created("SatS", T::Time),
    created("SunS", T::Time),
    created("MonE", T::Time),
    created("TueE", T::Time),
    created("WedE", T::Time),
    created("ThurE", T::Time),
    created("SatE", T::Time),
    created("SunE", T::Time),
    created("MonL", T::Time),
    created("TueL", T::Time),
    created("WedL", T::Time),
    created("ThurL", T::Time),
    created("FriL", T::Time),
    created("SatL", T::Time),
    created("SunL", T::Time),
    created("FriE", T::Time),
    addedOnly(DeptTimeTable::DeptName, T::Char, 20),
};
constexpr std::array<Key, 1> kDeptTimeTableKey = {DeptTimeTable::DeptTimeTableID};
constexpr std::array kDeptTimeTableIndexes = {
    IndexLayout{DeptTimeTable::idx_DeptName, DeptTimeTable::DeptName}};

constexpr std::array kDepartment = {
    created(Department::DeptID, T::SmallInt),
    created(Department::DeptName, T::Char, 40),
    created(Department::LateAllowance, T::SmallInt),
    created(Department::EnableLateAllowance, T::Boolean),
    addedOnly(Department::RoundOTMin, T::SmallInt),
};
constexpr std::array kDepartmentIndexes = {
    IndexLayout{Department::idx_DeptName, Department::DeptName}};

constexpr std::array kAttendance = {
    created(attendance::TheDate, T::Date),        created(attendance::StaffID, T::Char, 20),
    created(attendance::InTime, T::Time),         created(attendance::OutTime, T::Time),
    created(attendance::LateMin, T::SmallInt),    created(attendance::EarlyLeaveMin, T::SmallInt),
    created(attendance::OT, T::SmallInt),         created(attendance::StartWorkingTime, T::Time),
    created(attendance::EndWorkingTime, T::Time), created(attendance::Status, T::Char, 40),
};

constexpr std::array kSGCountTbl = {
    created(SGCountTbl::ID, T::AutoInc),
    created(SGCountTbl::SGCount, T::SmallInt),
    created(SGCountTbl::ConID, T::SmallInt),
    created(SGCountTbl::SecGroupID, T::SmallInt),
};
constexpr std::array<Key, 1> kSGCountTblKey = {SGCountTbl::ID};

constexpr std::array kActiveRelay = {
    created(ActiveRelay::ID, T::AutoInc),
    createdAndAdded(ActiveRelay::FromCardID, T::Char, 20),
    createdAndAdded(ActiveRelay::ToCardID, T::Char, 20),
    createdAndAdded(ActiveRelay::ActiveRelay, T::SmallInt),
    createdAndAdded(ActiveRelay::EventID, T::SmallInt),
    createdAndAdded(ActiveRelay::RelayID, T::SmallInt),
    createdAndAdded(ActiveRelay::ConID, T::SmallInt),
    addedOnly(ActiveRelay::FromDoorID, T::SmallInt),
    addedOnly(ActiveRelay::ToDoorID, T::SmallInt),
    addedOnly(ActiveRelay::DoorIn, T::Boolean),
    addedOnly(ActiveRelay::DoorOut, T::Boolean),
};
constexpr std::array<Key, 1> kActiveRelayKey = {ActiveRelay::ID};
constexpr std::array kActiveRelayIndexes = {
    IndexLayout{ActiveRelay::idx_EventID, ActiveRelay::EventID}};

constexpr std::array kDoorStatus = {
    naming(created(DoorStatus::DoorID, T::SmallInt), kDoorKeyColumn),
    created(DoorStatus::Status, T::SmallInt),
};
constexpr std::array<Key, 2> kDoorStatusKey = {DoorStatus::DoorID, DoorStatus::Status};

constexpr std::array kLQ = {
    createdAndAdded(LQ::StaffID, T::Char, 20),
    createdAndAdded(LQ::CardID, T::Char, 20),
    createdAndAdded(LQ::Name, T::Char, 40, 20),
    createdAndAdded(LQ::department, T::Char, 40),
    createdAndAdded(LQ::TDate, T::Date),
    createdAndAdded(LQ::InTime, T::Time),
    createdAndAdded(LQ::OutTime, T::Time),
    createdAndAdded(LQ::LateMin, T::SmallInt),
    createdAndAdded(LQ::EarlyLeaveMin, T::SmallInt),
    createdAndAdded(LQ::I, T::AutoInc),
    createdAndAdded(LQ::WokringHourStart, T::Time),
    createdAndAdded(LQ::OT, T::SmallInt),
    createdAndAdded(LQ::Status, T::Char, 40),
    created(LQ::DateName, T::Char, 40),
    addedOnly(LQ::TTime, T::Time),
    addedOnly(LQ::DateTime, T::Char, 40),
};

constexpr std::array kFILORPT = {
    created(FILORPT::StaffID, T::Char, 20), created(FILORPT::CardID, T::Char, 20),
    created(FILORPT::Name, T::Char, 40),    created(FILORPT::TDate, T::Date),
    created(FILORPT::InTime, T::Time),      created(FILORPT::OutTime, T::Time),
    created(FILORPT::TotalHr, T::Float),
};

constexpr std::array kLocationMap = {
    created(LocationMap::MyDoorID, T::SmallInt),
    created(LocationMap::MapDoorID, T::SmallInt),
    created(LocationMap::MapControllerID, T::SmallInt),
    created(LocationMap::LeftImageLoc, T::SmallInt),
    created(LocationMap::TopImageLoc, T::SmallInt),
    created(LocationMap::DoorName, T::Char, 20),
};
constexpr std::array<Key, 1> kLocationMapKey = {LocationMap::MyDoorID};

constexpr std::array kEmailAlert = {
    created(EmailAlert::pkey, T::AutoInc),
    createdAndAdded(EmailAlert::PName, T::Char, 20),
    createdAndAdded(EmailAlert::emailaddress, T::Char, 30, 20),
    createdAndAdded(EmailAlert::EventID, T::SmallInt),
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
    return {name, TableGroup::AccessControl, columns, key, indexes};
}

constexpr TableLayout group2(std::string_view name, std::span<const ColumnLayout> columns,
                             std::span<const std::string_view> key = kNoKey,
                             std::span<const IndexLayout> indexes = kNoIndexes) {
    return {name, TableGroup::CreatedByUpgrade, columns, key, indexes};
}

constexpr TableLayout work(std::string_view name) {
    return {name, TableGroup::Work, {}, kNoKey, kNoIndexes};
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

std::string_view tableStem(std::string_view name) {
    if (name.size() >= 3 && iequals(name.substr(name.size() - 3), ".db")) name.remove_suffix(3);
    return name;
}

bool sameTableName(std::string_view a, std::string_view b) {
    return iequals(tableStem(a), tableStem(b));
}

bool sameColumnName(std::string_view a, std::string_view b) {
    return iequals(a, b);
}

const TableLayout* findTable(std::string_view name) {
    for (const TableLayout& table : kTables)
        if (sameTableName(table.name, name)) return &table;
    return nullptr;
}

const ColumnLayout* findColumn(const TableLayout& table, std::string_view name) {
    for (const ColumnLayout& column : table.columns)
        if (sameColumnName(column.name, name)) return &column;
    return nullptr;
}

std::vector<ColumnRef> referencesTo(std::string_view table, std::string_view column) {
    std::vector<ColumnRef> found;
    for (const TableLayout& layout : kTables)
        for (const ColumnLayout& candidate : layout.columns)
            if (!candidate.refersTo.table.empty() &&
                sameTableName(candidate.refersTo.table, table) &&
                sameColumnName(candidate.refersTo.column, column))
                found.push_back({layout.name, candidate.name});
    return found;
}

std::span<const TableObject> tableObjects() {
    return kTableObjects;
}

std::span<const EnsuredIndex> ensuredIndexes() {
    return kEnsuredIndexes;
}

}  // namespace vaq::db::schema
