#include "upgrade/tests/old_database.h"

#include <algorithm>
#include <string>

#include "engine/sql/executor.h"

namespace vaq::upgrade::testing {

namespace {

struct OldTableSource {
    OldTable table;
    std::vector<std::string_view> statements;  // CREATE TABLE, indexes, rows
};

// clang-format off
const std::vector<OldTableSource>& sources() {
    static const std::vector<OldTableSource> kSources = {
        {{"Ctrller.DB",
          {"ControllerID smallint", "ID smallint", "Name char(30)"},
          {"1|1|Head Office", "2|2|Factory"}},
         {"CREATE TABLE \"Ctrller.DB\" (ControllerID smallint, ID smallint, Name Char(30), "
          "PRIMARY KEY (ControllerID))",
          "INSERT INTO Ctrller VALUES (1, 1, 'Head Office')",
          "INSERT INTO Ctrller VALUES (2, 2, 'Factory')"}},
        {{"Door.DB",
          {"DoorID autoinc", "ControllerID smallint", "ID smallint", "Name char(30)",
           "DoorOpenTime smallint", "DoorMode smallint", "ForceDoorOpenTimeTbl smallint",
           "CancelPINTimeTbl smallint", "MonitorTime smallint", "PIN boolean",
           "AntiPassBack boolean", "Holiday boolean", "InReaderSN char(8)", "OutReaderSN char(8)",
           "DoorRelaySN char(8)"},
          {"1|1|1|Main Entrance|5|0|0|0|15|false|true|false|A1|A2|R1",
           "2|1|2|Lobby|7|1|0|0|15|true|false|false|B1|B2|R2",
           "3|2|1|Gate|5|0|1|2|30|false|false|true|C1|C2|R3"}},
         {"CREATE TABLE \"Door.DB\" (DoorID autoinc, ControllerID smallint, ID smallint, "
          "Name Char(30), DoorOpenTime smallint, DoorMode smallint, ForceDoorOpenTimeTbl "
          "smallint, CancelPINTimeTbl smallint, MonitorTime smallint, PIN boolean, AntiPassBack "
          "boolean, Holiday boolean, InReaderSN Char(8), OutReaderSN Char(8), DoorRelaySN "
          "Char(8), PRIMARY KEY (DoorID))",
          "CREATE INDEX ControlID ON \"Door.DB\" (ControllerID)",
          "INSERT INTO Door (ControllerID, ID, Name, DoorOpenTime, DoorMode, ForceDoorOpenTimeTbl, "
          "CancelPINTimeTbl, MonitorTime, PIN, AntiPassBack, Holiday, InReaderSN, OutReaderSN, "
          "DoorRelaySN) VALUES (1, 1, 'Main Entrance', 5, 0, 0, 0, 15, false, true, false, 'A1', "
          "'A2', 'R1')",
          "INSERT INTO Door (ControllerID, ID, Name, DoorOpenTime, DoorMode, ForceDoorOpenTimeTbl, "
          "CancelPINTimeTbl, MonitorTime, PIN, AntiPassBack, Holiday, InReaderSN, OutReaderSN, "
          "DoorRelaySN) VALUES (1, 2, 'Lobby', 7, 1, 0, 0, 15, true, false, false, 'B1', 'B2', "
          "'R2')",
          "INSERT INTO Door (ControllerID, ID, Name, DoorOpenTime, DoorMode, ForceDoorOpenTimeTbl, "
          "CancelPINTimeTbl, MonitorTime, PIN, AntiPassBack, Holiday, InReaderSN, OutReaderSN, "
          "DoorRelaySN) VALUES (2, 1, 'Gate', 5, 0, 1, 2, 30, false, false, true, 'C1', 'C2', "
          "'R3')"}},
        {{"Personal.DB",
          {"PersonalID autoinc", "CardID char(10)", "StaffID char(20)", "Name char(40)",
           "Department char(40)"},
          {"1|0001|S001|Tan Ah Kow|Admin", "2|0002||Siti Aminah|Finance", "3|0003|S003|John Smith|"}},
         {"CREATE TABLE \"Personal.DB\" (PersonalID autoinc, CardID Char(10), StaffID Char(20), "
          "Name Char(40), Department Char(40), PRIMARY KEY (PersonalID))",
          "INSERT INTO Personal (CardID, StaffID, Name, Department) VALUES ('0001', 'S001', "
          "'Tan Ah Kow', 'Admin')",
          "INSERT INTO Personal (CardID, Name, Department) VALUES ('0002', 'Siti Aminah', "
          "'Finance')",
          "INSERT INTO Personal (CardID, StaffID, Name) VALUES ('0003', 'S003', 'John Smith')"}},
        {{"Transact.db",
          {"TransID autoinc", "TDate date", "TTime time", "ControllerID smallint",
           "DoorID smallint", "Door char(30)", "CardID char(10)", "PersonalID integer",
           "StaffID char(20)", "EventID smallint"},
          {"1|2004-03-01|08:01:02|1|1|Main Entrance|0001|1|S001|1",
           "2|2004-03-01|17:30:00|1|2|Lobby|0002|2||5",
           "3|2004-03-02|09:00:00|2|3|Gate|9999|||9"}},
         {"CREATE TABLE \"Transact.db\" (TransID autoinc, TDate Date, TTime Time, ControllerID "
          "smallint, DoorID smallint, Door Char(30), CardID Char(10), PersonalID integer, "
          "StaffID Char(20), EventID smallint, PRIMARY KEY (TransID))",
          "CREATE INDEX idx_Card ON \"Transact.db\" (CardID)",
          "INSERT INTO Transact (TDate, TTime, ControllerID, DoorID, Door, CardID, PersonalID, "
          "StaffID, EventID) VALUES ('3/1/2004', '08:01:02', 1, 1, 'Main Entrance', '0001', 1, "
          "'S001', 1)",
          "INSERT INTO Transact (TDate, TTime, ControllerID, DoorID, Door, CardID, PersonalID, "
          "EventID) VALUES ('3/1/2004', '17:30:00', 1, 2, 'Lobby', '0002', 2, 5)",
          "INSERT INTO Transact (TDate, TTime, ControllerID, DoorID, Door, CardID, EventID) "
          "VALUES ('3/2/2004', '09:00:00', 2, 3, 'Gate', '9999', 9)"}},
        {{"Holiday.db",
          {"HolidayID autoinc", "TDate date", "TimeZoneID smallint", "HolidayType smallint"},
          {"1|2004-01-01|1|0", "2|2004-12-25|1|1"}},
         {"CREATE TABLE \"Holiday.db\" (HolidayID autoinc, TDate Date, TimeZoneID smallint, "
          "HolidayType smallint, PRIMARY KEY (HolidayID))",
          "INSERT INTO Holiday (TDate, TimeZoneID, HolidayType) VALUES ('1/1/2004', 1, 0)",
          "INSERT INTO Holiday (TDate, TimeZoneID, HolidayType) VALUES ('12/25/2004', 1, 1)"}},
        {{"SecMas.DB",
          {"SecurityGroupID autoinc", "SecurityGroupName char(30)"},
          {"1|All Doors", "2|Office Hours"}},
         {"CREATE TABLE \"SecMas.DB\" (SecurityGroupID autoinc, SecurityGroupName Char(30), "
          "PRIMARY KEY (SecurityGroupID))",
          "INSERT INTO SecMas (SecurityGroupName) VALUES ('All Doors')",
          "INSERT INTO SecMas (SecurityGroupName) VALUES ('Office Hours')"}},
        {{"User.DB",
          {"UserName char(20)", "Password char(20)"},
          {"admin|secret"}},
         {"CREATE TABLE \"User.DB\" (UserName Char(20), Password Char(20), PRIMARY KEY "
          "(UserName))",
          "INSERT INTO \"User.DB\" VALUES ('admin', 'secret')"}},
        {{"AntiPassBack.db",
          {"ControllerID smallint", "FromDoorID smallint", "FromDirection smallint",
           "ToDOorID smallint", "ToDirection smallint", "Remark char(20)"},
          {"2|1|0|1|1|gate", "1|1|0|2|1|main", "1|2|1|1|0|back"}},
         {"CREATE TABLE \"AntiPassBack.db\" (ControllerID smallint, FromDoorID smallint, "
          "FromDirection smallint, ToDOorID smallint, ToDirection smallint, Remark Char(20))",
          "INSERT INTO AntiPassBack VALUES (2, 1, 0, 1, 1, 'gate')",
          "INSERT INTO AntiPassBack VALUES (1, 1, 0, 2, 1, 'main')",
          "INSERT INTO AntiPassBack VALUES (1, 2, 1, 1, 0, 'back')"}},
        {{"events.db",
          {"EventID smallint", "Events char(40)"},
          {"0|Access Granted", "50|Extra code", "60|Another extra code"}},
         {"CREATE TABLE \"events.db\" (EventID smallint, Events Char(40), PRIMARY KEY (EventID))",
          "INSERT INTO events VALUES (0, 'Access Granted')",
          "INSERT INTO events VALUES (50, 'Extra code')",
          "INSERT INTO events VALUES (60, 'Another extra code')"}},
    };
    return kSources;
}
// clang-format on

}  // namespace

const std::vector<OldTable>& old_tables() {
    static const std::vector<OldTable> kTables = [] {
        std::vector<OldTable> tables;
        for (const OldTableSource& source : sources())
            tables.push_back(source.table);
        return tables;
    }();
    return kTables;
}

void write_old_database(const std::filesystem::path& directory,
                        const std::vector<std::string_view>& leaveOut) {
    pdx::sql::Executor sql(directory);
    for (const OldTableSource& source : sources()) {
        if (std::find(leaveOut.begin(), leaveOut.end(), source.table.name) != leaveOut.end())
            continue;
        for (const std::string_view statement : source.statements)
            sql.execute(statement);
    }
}

}  // namespace vaq::upgrade::testing
