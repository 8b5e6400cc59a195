#include "upgrade/tests/upgrade_expectations.h"

#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "engine/table/tests/pxlib_reader.h"

namespace vaq::upgrade::testing {

namespace schema = db::schema;
namespace fs = std::filesystem;

const Lines kFirstRunLog = {
    // table steps T1 to T4
    "Upgraded Successfully : Table EMCARD_MAS.db Added",
    "Upgraded Successfully : Table EMCARD_DET.db Added",
    "Upgraded Successfully : Table CardFormat.db Added",
    "Upgraded Successfully : Table DoorTree.db Added",
    // column block 1
    "Upgraded Successfully : MainEntranceField added ",
    "Upgraded Successfully : FireReportInField added ",
    "Upgraded Successfully : FireReportOutField added ",
    "Upgraded Successfully : CardListDetailField added ",
    "Upgraded Successfully : TimeAttendanceField added ",
    // table steps T5 to T14 (T8 logs nothing)
    "Upgraded Successfully : Table WorkOn.db Added",
    "Upgraded Successfully : Table LeaveType.db Added",
    "Upgraded Successfully : Table Leave.db Added",
    "Upgraded Successfully : Table DeptTimeTable.db Added",
    "Upgraded Successfully : Table Department.db Added",
    "Upgraded Successfully : Table Attendance.db Added",
    "Upgraded Successfully : Table SGCountTbl.DB Added",
    "Upgraded Successfully : Table ActiveRelay Added",
    "Upgraded Successfully : Table DoorStatus.db Added",
    // column block 2; block 3 finds every column of the new ActiveRelay.DB
    "Upgraded Successfully : DeptNameField added ",
    "Upgraded Successfully : DeptNameField added ",
    "Upgraded Successfully : RoundOTMinField added ",
    "Upgraded Successfully : FromDoorIDField added ",
    "Upgraded Successfully : ToDoorIDField added ",
    "Upgraded Successfully : DoorInField added ",
    "Upgraded Successfully : DoorOutField added ",
    "Upgraded Successfully : LastDoorNameField added ",
    "Upgraded Successfully : DoorAccessStatusField added ",
    "Upgraded Successfully : LastDoorIDField added ",
    "Upgraded Successfully : LastAccessDateField added ",
    "Upgraded Successfully : LastAccessTimeField added ",
    // column block 4: ForceDoorCloseTimeTbl and IsSupportEMCard are added silently
    "DoorPIN Field added ",
    "DoorPINEnableTimeTable Field added ",
    // table steps T15 and T16
    "Upgraded Successfully : Table LQ Added",
    "Upgraded Successfully : Table FILORPT Added",
    // column block 5
    "Upgraded Successfully : ConnectMethod Field added ",
    "Upgraded Successfully : ReadCardFormatField added ",
    "Upgraded Successfully : CardMaskField added ",
    "Upgraded Successfully : PresentCardDelay Field added ",
    "EnablePanicPIN Field added ",
    "PanicPIN Field added ",
    "Upgraded Successfully : UDP_HOSTField added ",
    "Upgraded Successfully : UDP_Port Field added ",
    "Upgraded Successfully : EnableAutoAdjTime Field added ",
    "Upgraded Successfully : WinterTriggerTime Field added ",
    "Upgraded Successfully : WinterTriggerDate Field added ",
    "Upgraded Successfully : SummerTriggerTime Field added ",
    "Upgraded Successfully : SummerTriggerDate Field added ",
    "Upgraded Successfully : WinterHour Field added ",
    "Upgraded Successfully : SummerHour Field added ",
    "Upgraded Successfully : Allow Any Card Field added ",
    "Upgraded Successfully : PhoneNumber Field added ",
    // column block 6 on the LQ.DB just created
    "Upgraded Successfully : TTime Field added ",
    "Upgraded Successfully : DateTime Field added ",
    // column blocks 7 and 8
    "Upgraded Successfully : DT Field added ",
    "Upgraded Successfully : HolidayName Field added ",
    // column block 9
    "Upgraded Successfully : DeptID Field added ",
    "Upgraded Successfully : HomePhoneNum Field added ",
    "Upgraded Successfully : MobilePhoneNum Field added ",
    "Upgraded Successfully : DateOfBirth Field added ",
    "Upgraded Successfully : Nationality Field added ",
    "Upgraded Successfully : EmergencyContactPerson Field added ",
    "Upgraded Successfully : EmergencyContactNum Field added ",
    "Upgraded Successfully : Address1 Field added ",
    "Upgraded Successfully : Address2 Field added ",
    "Upgraded Successfully : Comment1 Field added ",
    "Upgraded Successfully : Comment2 Field added ",
    "Upgraded Successfully : RelationToEmployee Field added ",
    // column block 10
    "Upgraded Successfully : FirstInRpt Field added ",
    "Upgraded Successfully : LastOutRptField added ",
    "Upgraded Successfully : FirstINLastOutRptField added ",
    "Upgraded Successfully : EventAlertRptField added ",
    "Upgraded Successfully : LateRptField added ",
    "Upgraded Successfully : EarlyLeaveRptField added ",
    "Upgraded Successfully : AttendanceRptField added ",
    "Upgraded Successfully : DepartmentField added ",
    "Upgraded Successfully : DBBackup Field added ",
    "Upgraded Successfully : DBRestore Field added ",
    "Upgraded Successfully : DoorAccessControl Field added ",
    "Upgraded Successfully : PatrolReport Field added ",
    "Upgraded Successfully : StopScan Field added ",
    "Upgraded Successfully : LocMapSetupMode Field added ",
    "Upgraded Successfully : LocMapUserMode Field added ",
    "Upgraded Successfully : PersonalData Field added ",
    // table steps T17 and T18; block 11 finds every column of the new EmailAlert.DB
    "Upgraded Successfully : LocationMap.DB  added ",
    "Upgraded Successfully : Table EmailAlert.DB  added ",
    // column block 12
    "Upgraded Successfully : WorkingHourStart Field added ",
    "Upgraded Successfully : CarParkCount Field added ",
    "Upgraded Successfully : CarParkBalance Field added ",
    // reference data
    "Upgraded Successfully : Event Type Updated",
    // index steps I1 to I11
    "Upgraded Successfully : New Index added on: DeptTimeTable.DB",
    "Upgraded Successfully : New Index added on: WorkON.DB",
    "Upgraded Successfully : New Index added on: Department.DB",
    "Upgraded Successfully : New Index added on: Leave.DB",
    "Upgraded Successfully : New Index added on: SecMas.DB",
    "Upgraded Successfully : New Index added on: Holiday.db",
    "Upgraded Successfully : New Index added on: Transact.db",
    "Upgraded Successfully : New Index added on: AntiPassBack.db",
    "Upgraded Successfully : New Index added on: EmailAlert.DB",
    "Upgraded Successfully : New Index added on: ActiveRelay.DB",
    "Upgraded Successfully : New Index added on: Leave.DB",
};

const Lines kLaterRunLog = {
    "Upgraded Successfully : Event Type Updated",
    "Upgraded Successfully : New Index added on: Leave.DB",
    "Upgraded Successfully : New Index added on: Leave.DB",
};

const std::map<std::string_view, Lines> kAddedToOldTables = {
    {"Ctrller.DB",
     {"ConnectMethod smallint", "ReadCardFormat smallint", "CardMask char(20)",
      "PresentCardDelay integer", "EnablePanicPIN boolean", "PanicPIN char(4)", "UDP_HOST char(50)",
      "UDP_PORT float", "EnableAutoAdjTime boolean", "WinterTriggerTime time",
      "WinterTriggerDate date", "SummerTriggerTime time", "SummerTriggerDate date",
      "WinterHour integer", "SummerHour integer", "AllowAnyCard boolean", "PhoneNumber char(30)"}},
    {"Door.DB",
     {"MainEntrance boolean", "ForceDoorCloseTimeTbl smallint", "DoorPIN char(10)",
      "DoorPINEnableTimeTable smallint", "IsSupportEMCard boolean"}},
    {"Personal.DB",
     {"LastDoorName char(20)", "DoorAccessStatus char(20)", "LastDoorID smallint",
      "LastAccessDate date", "LastAccessTime time", "DeptID smallint", "HomePhoneNum char(20)",
      "MobilePhoneNum char(20)", "DateOfBirth date", "Nationality char(40)",
      "EmergencyContactPerson char(20)", "EmergencyContactNum char(20)", "Address1 char(200)",
      "Address2 char(200)", "Comment1 char(200)", "Comment2 char(200)",
      "RelationToEmployee char(200)"}},
    {"Transact.db", {"DT datetime"}},
    {"Holiday.db", {"HolidayName char(20)"}},
    {"SecMas.DB", {"WorkingHourStart time", "CarParkCount smallint", "CarParkBalance smallint"}},
    {"User.DB", {"FireReportIn boolean",      "FireReportOut boolean", "CardListDetail boolean",
                 "TimeAttendance boolean",    "FirstInRpt boolean",    "LastOutRpt boolean",
                 "FirstINLastOutRpt boolean", "EventAlertRpt boolean", "LateRpt boolean",
                 "EarlyLeaveRpt boolean",     "AttendanceRpt boolean", "Department boolean",
                 "DBBackup boolean",          "DBRestore boolean",     "DoorAccessControl boolean",
                 "PatrolReport boolean",      "StopScan boolean",      "LocMapSetupMode boolean",
                 "LocMapUserMode boolean",    "PersonalData boolean"}},
    {"events.db", {}},
};

namespace {

std::string type_text(const schema::ColumnLayout& column, int size) {
    using T = schema::ColumnType;
    switch (column.type) {
        case T::kChar:
            return "char(" + std::to_string(size) + ")";
        case T::kSmallInt:
            return "smallint";
        case T::kInteger:
            return "integer";
        case T::kAutoInc:
            return "autoinc";
        case T::kBoolean:
            return "boolean";
        case T::kDate:
            return "date";
        case T::kTime:
            return "time";
        case T::kDateTime:
            return "datetime";
        case T::kFloat:
            return "float";
        default:
            return "?";
    }
}

}  // namespace

Lines created_layout(const schema::TableLayout& table) {
    Lines fields;
    for (const schema::ColumnLayout& column : table.columns)
        if (column.created)
            fields.push_back(std::string(column.name) + " " + type_text(column, column.size));
    for (const schema::ColumnLayout& column : table.columns)
        if (column.added && !column.created)
            fields.push_back(std::string(column.name) + " " + type_text(column, column.size));
    return fields;
}

// A table as pxlib, written by other people, sees it: fields with type and size, and the
// bytes of every record in the order the data blocks hold them.
Lines pxlib_view(const fs::path& file) {
    pdx::testing::PxlibTable px(file.string());
    Lines view;
    for (int i = 0; i < px.field_count(); ++i) {
        const pxfield_t& field = px.field(i);
        view.push_back(std::string(field.px_fname) + " " + std::to_string(field.px_ftype) + " " +
                       std::to_string(field.px_flen));
    }
    const auto size = static_cast<std::size_t>(px.doc()->px_head->px_recordsize);
    for (int n = 0; n < px.record_count(); ++n)
        view.emplace_back(px.read_record(n), size);
    return view;
}

Lines engine_view(const fs::path& file) {
    const auto table = pdx::Table::open_file(file);
    Lines view;
    for (const pdx::Field& field : table->schema().fields())
        view.push_back(field.stored_name + " " +
                       std::to_string(static_cast<int>(field.descriptor.type)) + " " +
                       std::to_string(field.width()));
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next()) {
        const pdx::Bytes record = cursor->record();
        view.emplace_back(reinterpret_cast<const char*>(record.data()), record.size());
    }
    return view;
}

}  // namespace vaq::upgrade::testing
