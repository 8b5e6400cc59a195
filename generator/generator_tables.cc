#include "generator/generator_tables.h"

#include <algorithm>
#include <array>

#include "common/error.h"
#include "common/text.h"
#include "db/schema.h"

namespace vaq::bench {

namespace {

namespace schema = vaq::db::schema;
using pdx::FieldType;

// Columns of the access-control program that the utility does not use. Their names are
// the program's; the utility knows them from no other place.
namespace own {
inline constexpr std::string_view Name = "Name";
inline constexpr std::string_view Location = "Location";
inline constexpr std::string_view CommPort = "CommPort";
inline constexpr std::string_view BaudRate = "BaudRate";
inline constexpr std::string_view IPAddress = "IPAddress";
inline constexpr std::string_view FirmwareVersion = "FirmwareVersion";
inline constexpr std::string_view Active = "Active";
inline constexpr std::string_view Designation = "Designation";
inline constexpr std::string_view SecurityGroupID = "SecurityGroupID";
inline constexpr std::string_view JoinDate = "JoinDate";
inline constexpr std::string_view TimeZoneID = "TimeZoneID";
inline constexpr std::string_view UserID = "UserID";
inline constexpr std::string_view UserName = "UserName";
inline constexpr std::string_view Password = "Password";
inline constexpr std::string_view Administrator = "Administrator";
inline constexpr std::string_view ControllerSetup = "ControllerSetup";
inline constexpr std::string_view DoorSetup = "DoorSetup";
inline constexpr std::string_view PersonalSetup = "PersonalSetup";
inline constexpr std::string_view TransactionReport = "TransactionReport";
inline constexpr std::string_view FormName = "FormName";
inline constexpr std::string_view Caption = "Caption";
inline constexpr std::string_view MessDate = "MessDate";
inline constexpr std::string_view MessTime = "MessTime";
inline constexpr std::string_view Message = "Message";
}  // namespace own

// File names of the tables whose names the program uses without an extension.
constexpr std::string_view kEventsFile = "events.db";
constexpr std::string_view kMessFormFile = "MessForm.DB";
constexpr std::string_view kMessSysFile = "MessSys.DB";

constexpr ColumnDef alpha(std::string_view name, std::uint8_t width) {
    return {name, FieldType::kAlpha, width};
}
constexpr ColumnDef short_int(std::string_view name) {
    return {name, FieldType::kShort, 2};
}
constexpr ColumnDef long_int(std::string_view name) {
    return {name, FieldType::kLong, 4};
}
constexpr ColumnDef auto_inc(std::string_view name) {
    return {name, FieldType::kAutoInc, 4};
}
constexpr ColumnDef logical(std::string_view name) {
    return {name, FieldType::kLogical, 1};
}
constexpr ColumnDef date(std::string_view name) {
    return {name, FieldType::kDate, 4};
}
constexpr ColumnDef time(std::string_view name) {
    return {name, FieldType::kTime, 4};
}

Cell text(std::string_view value) {
    return std::string(value);
}
Cell number(std::int64_t value) {
    return value;
}
const Cell kEmpty{};

// ---- Tables of the access-control program ----------------------------------------------------

GeneratedTable controller_table(const Site& site) {
    namespace c = schema::Ctrller;
    GeneratedTable t{
        {c::kTable,
         {short_int(c::ControllerID), short_int(c::ID), alpha(own::Name, 30),
          alpha(own::Location, 30), short_int(own::CommPort), long_int(own::BaudRate),
          alpha(own::IPAddress, 15), alpha(own::FirmwareVersion, 10), logical(own::Active)},
         1,
         {}},
        {}};
    for (const Controller& x : site.controllers) {
        t.rows.push_back({number(x.controllerId), number(x.address), text(x.name), text(x.location),
                          number(x.commPort), number(x.baudRate), text(x.ipAddress),
                          text(x.firmware), x.active});
    }
    return t;
}

GeneratedTable door_table(const Site& site) {
    namespace d = schema::Door;
    GeneratedTable t{
        {d::kTable,
         {auto_inc(d::DoorID), short_int(d::ControllerID), short_int(d::ID), alpha(d::Name, 30),
          short_int(d::DoorOpenTime), short_int(d::DoorMode), short_int(d::ForceDoorOpenTimeTbl),
          short_int(d::CancelPINTimeTbl), short_int(d::MonitorTime), logical(d::PIN),
          logical(d::AntiPassBack), logical(d::Holiday), alpha(d::InReaderSN, 8),
          alpha(d::OutReaderSN, 8), alpha(d::DoorRelaySN, 8)},
         1,
         {{d::ControlID, d::ControllerID, true}}},
        {}};
    for (const Door& x : site.doors) {
        t.rows.push_back({kEmpty, number(x.controllerId), number(x.number), text(x.name),
                          number(x.openTime), number(x.mode), number(x.forceOpenTimeTable),
                          number(x.cancelPinTimeTable), number(x.monitorTime), x.pin,
                          x.antiPassBack, x.holiday, text(x.inReaderSerial),
                          text(x.outReaderSerial), text(x.relaySerial)});
    }
    return t;
}

// StaffID is in: an earlier version's hidden step added it, and installations have it.
GeneratedTable personal_table(const Site& site) {
    namespace p = schema::Personal;
    GeneratedTable t{{p::kTable,
                      {auto_inc(p::PersonalID), alpha(p::CardID, 20), alpha(p::StaffID, 20),
                       alpha(own::Name, 40), alpha(p::Department, 40), alpha(own::Designation, 30),
                       short_int(own::SecurityGroupID), date(own::JoinDate), logical(own::Active)},
                      1,
                      {}},
                     {}};
    t.rows.reserve(site.staff.size());
    for (const Staff& x : site.staff) {
        t.rows.push_back({kEmpty, text(x.cardId), text(x.staffId), text(x.name), text(x.department),
                          text(x.designation), number(x.securityGroupId), x.joined, x.active});
    }
    return t;
}

GeneratedTable holiday_table(const Site& site) {
    namespace h = schema::Holiday;
    GeneratedTable t{{h::kTable,
                      {auto_inc(h::HolidayID), date(h::TDate), short_int(h::TimeZoneID),
                       short_int(h::HolidayType)},
                      1,
                      {}},
                     {}};
    for (const Date& day : site.holidays) {
        const bool publicHoliday = (day.month == 1 && day.day == 1) ||
                                   (day.month == 5 && day.day == 1) ||
                                   (day.month == 12 && day.day == 25);
        t.rows.push_back({kEmpty, day, number(1), number(publicHoliday ? 1 : 2)});
    }
    return t;
}

GeneratedTable security_group_table(const Site& site) {
    namespace s = schema::SecMas;
    GeneratedTable t{{s::kTable,
                      {auto_inc(s::SecurityGroupID), alpha(s::SecurityGroupName, 30),
                       short_int(own::TimeZoneID)},
                      1,
                      {}},
                     {}};
    for (const SecurityGroup& g : site.securityGroups) {
        t.rows.push_back({kEmpty, text(g.name), number(g.timeZoneId)});
    }
    return t;
}

GeneratedTable user_table() {
    GeneratedTable t{
        {schema::User::kTable,
         {auto_inc(own::UserID), alpha(own::UserName, 20), alpha(own::Password, 20),
          logical(own::Administrator), logical(own::ControllerSetup), logical(own::DoorSetup),
          logical(own::PersonalSetup), logical(own::TransactionReport)},
         1,
         {}},
        {}};
    t.rows = {
        {kEmpty, text("ADMIN"), text("k7Qz2pLw"), true, true, true, true, true},
        {kEmpty, text("SUPERVISOR"), text("m3Rt8vXa"), false, true, true, true, true},
        {kEmpty, text("HR"), text("p9Dc4nYe"), false, false, false, true, true},
        {kEmpty, text("guard"), text(""), false, false, false, false, true},
    };
    return t;
}

// Without the key column the upgrade looks for: it rebuilds the table.
GeneratedTable anti_pass_back_table(const Site& site) {
    namespace a = schema::AntiPassBack;
    GeneratedTable t{
        {a::kTable,
         {short_int(a::ControllerID), short_int(a::FromDoorID), short_int(a::FromDirection),
          short_int(a::ToDOorID), short_int(a::ToDirection)},
         0,
         {}},
        {}};
    for (const AntiPassBackRule& r : site.antiPassBack) {
        t.rows.push_back({number(r.controllerId), number(r.fromDoor), number(r.fromDirection),
                          number(r.toDoor), number(r.toDirection)});
    }
    return t;
}

GeneratedTable events_table(const Site& site) {
    namespace e = schema::events;
    GeneratedTable t{{kEventsFile, {short_int(e::EventID), alpha(e::Events, 40)}, 1, {}}, {}};
    for (int code = 0; code < site.options.events; ++code) {
        t.rows.push_back({number(code), text(event_name(code))});
    }
    return t;
}

// Message numbers with gaps and one repeated, as years of editing leave them.
GeneratedTable mess_form_table() {
    GeneratedTable t{
        {kMessFormFile,
         {long_int(schema::MessForm::MessID), alpha(own::FormName, 30), alpha(own::Caption, 60)},
         0,
         {}},
        {}};
    constexpr std::array<std::pair<int, std::string_view>, 12> kForms = {{
        {1, "Main Menu"},
        {2, "Controller Setup"},
        {3, "Door Setup"},
        {5, "Personal Data"},
        {6, "Security Groups"},
        {7, "Holiday Setup"},
        {7, "Time Zones"},
        {9, "Transaction Report"},
        {10, "Event Monitor"},
        {12, "User Setup"},
        {15, "Database Backup"},
        {16, "About"},
    }};
    for (const auto& [id, caption] : kForms) {
        std::string form = "frm";
        for (const char ch : caption) {
            if (ch != ' ') form += ch;
        }
        t.rows.push_back({number(id), text(form), text(caption)});
    }
    return t;
}

GeneratedTable mess_sys_table(const Site& site) {
    GeneratedTable t{{kMessSysFile,
                      {long_int(schema::MessSys::MessID), date(own::MessDate), time(own::MessTime),
                       alpha(own::Message, 80)},
                      0,
                      {}},
                     {}};
    Random random(site.options.seed, "messages");
    constexpr std::array<std::string_view, 6> kMessages = {
        "Controller offline",          "Controller online",    "Database backup completed",
        "Time synchronised with host", "Card list downloaded", "Event buffer cleared",
    };
    for (int id = 1; id <= 25; ++id) {
        const Date day{
            random.between(site.options.firstYear, site.options.firstYear + site.options.years - 1),
            random.between(1, 12), random.between(1, 28)};
        const Time at{random.between(0, 23), random.between(0, 59), random.between(0, 59), 0};
        std::string message(random.pick(std::span<const std::string_view>(kMessages)));
        if (!site.controllers.empty() && message.starts_with("Controller")) {
            message +=
                ": " + site.controllers[static_cast<std::size_t>(random.between(
                                            0, static_cast<int>(site.controllers.size()) - 1))]
                           .name;
        }
        t.rows.push_back({number(id), day, at, text(message)});
    }
    return t;
}

// ---- Tables of newer versions ------------------------------------------------------------------

ColumnDef column_of(const schema::ColumnLayout& c) {
    using T = schema::ColumnType;
    switch (c.type) {
        case T::kChar:
            return alpha(c.name, static_cast<std::uint8_t>(c.size));
        case T::kSmallInt:
            return short_int(c.name);
        case T::kInteger:
            return long_int(c.name);
        case T::kAutoInc:
            return auto_inc(c.name);
        case T::kBoolean:
            return logical(c.name);
        case T::kDate:
            return date(c.name);
        case T::kTime:
            return time(c.name);
        case T::kDateTime:
            return {c.name, FieldType::kTimestamp, 8};
        case T::kFloat:
            return {c.name, FieldType::kNumber, 8};
        case T::kNumber:
        case T::kText:
            break;
    }
    throw Error("Column " + std::string(c.name) + " has no layout of its own");
}

// The layout the upgrade creates the table in: the created columns only.
TableDef created_layout(std::string_view table_name) {
    const schema::TableLayout* layout = schema::find_table(table_name);
    if (layout == nullptr) throw Error("Table not in the schema: " + std::string(table_name));
    TableDef def{layout->name, {}, layout->primaryKey.size(), {}};
    for (const schema::ColumnLayout& c : layout->columns) {
        if (c.created) def.columns.push_back(column_of(c));
    }
    return def;
}

// The start (S), end (E) and lunch (L) times of a department's week; the weekend is
// empty unless the department works on Saturdays.
Row week_times(const TableDef& def, std::int64_t key, bool saturday) {
    Row row{number(key)};
    for (std::size_t i = 1; i < def.columns.size(); ++i) {
        const std::string_view name = def.columns[i].name;
        const bool weekend = name.starts_with("Sat") || name.starts_with("Sun");
        if (name.starts_with("Sun") || (weekend && !saturday)) {
            row.push_back(kEmpty);
        } else if (name.ends_with("S")) {
            row.push_back(Time{8, 30, 0, 0});
        } else if (name.ends_with("E")) {
            row.push_back(Time{name.starts_with("Sat") ? 13 : 17, 30, 0, 0});
        } else {
            row.push_back(Time{13, 0, 0, 0});
        }
    }
    return row;
}

bool works_saturday(const Department& d) {
    return d.name == "Production" || d.name == "Warehouse" || d.name == "Security";
}

void add_some_newer_tables(const Site& site, std::vector<GeneratedTable>& tables) {
    GeneratedTable departments{created_layout(schema::Department::kTable), {}};
    GeneratedTable workOn{created_layout(schema::WorkOn::kTable), {}};
    GeneratedTable timeTable{created_layout(schema::DeptTimeTable::kTable), {}};
    for (const Department& d : site.departments) {
        departments.rows.push_back(
            {number(d.deptId), text(d.name), number(d.lateAllowance), d.enableLateAllowance});
        workOn.rows.push_back(
            {number(d.deptId), kEmpty, true, true, true, true, true, works_saturday(d), false});
        timeTable.rows.push_back(week_times(timeTable.def, d.deptId, works_saturday(d)));
    }
    tables.push_back(std::move(departments));
    tables.push_back(std::move(workOn));
    tables.push_back(std::move(timeTable));
    tables.push_back({created_layout(schema::ActiveRelay::kTable), {}});
    tables.push_back({created_layout(schema::LQ::kTable), {}});
}

void add_remaining_newer_tables(const Site& site, std::vector<GeneratedTable>& tables) {
    for (const std::string_view name :
         {schema::EMCARD_MAS::kTable, schema::EMCARD_DET::kTable, schema::CardFormat::kTable,
          schema::DoorTree::kTable, schema::LeaveType::kTable, schema::StaffTimeTbl::kTable,
          schema::attendance::kTable, schema::SGCountTbl::kTable, schema::FILORPT::kTable,
          schema::LocationMap::kTable, schema::EmailAlert::kTable}) {
        tables.push_back({created_layout(name), {}});
    }
    GeneratedTable leave{created_layout(schema::Leave::kTable), {}};
    leave.def.indexes.push_back({schema::Leave::idx_StaffID, schema::Leave::StaffID});
    tables.push_back(std::move(leave));
    GeneratedTable status{created_layout(schema::DoorStatus::kTable), {}};
    for (const Door& d : site.doors)
        status.rows.push_back({number(d.doorId), number(0)});
    tables.push_back(std::move(status));
}

}  // namespace

std::size_t TableDef::column(std::string_view name) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (iequals(columns[i].name, name)) return i;
    }
    throw Error("Field not found: " + std::string(name) + " in " + std::string(file));
}

const TableDef& transact_table() {
    namespace x = schema::Transact;
    static const TableDef def{
        x::kTable,
        {auto_inc(x::TransID), date(x::TDate), time(x::TTime), short_int(x::ControllerID),
         long_int(x::DoorID), alpha(x::Door, 30), alpha(x::CardID, 20), long_int(x::PersonalID),
         alpha(x::StaffID, 20), short_int(x::EventID)},
        0,
        {}};
    return def;
}

Row transaction_row(const Transaction& x) {
    Row row;
    row.reserve(10);
    row.push_back(kEmpty);
    row.push_back(x.date);
    row.push_back(x.time);
    row.push_back(number(x.controllerId));
    row.push_back(number(x.doorId));
    row.push_back(x.doorName);
    row.push_back(x.cardId);
    row.push_back(x.personalId ? number(*x.personalId) : kEmpty);
    row.push_back(x.staffId);
    row.push_back(number(x.eventId));
    return row;
}

std::vector<GeneratedTable> site_tables(const Site& site) {
    std::vector<GeneratedTable> tables;
    tables.push_back(controller_table(site));
    tables.push_back(door_table(site));
    tables.push_back(personal_table(site));
    tables.push_back(holiday_table(site));
    tables.push_back(security_group_table(site));
    tables.push_back(user_table());
    tables.push_back(anti_pass_back_table(site));
    tables.push_back(events_table(site));
    tables.push_back(mess_form_table());
    tables.push_back(mess_sys_table(site));
    if (site.options.newerTables != NewerTables::kNone) add_some_newer_tables(site, tables);
    if (site.options.newerTables == NewerTables::kAll) add_remaining_newer_tables(site, tables);
    return tables;
}

const TableDef& table_layout(std::string_view file) {
    static const std::vector<GeneratedTable> tables = [] {
        SiteOptions options;
        options.controllers = 1;
        options.doorsPerController = 1;
        options.staff = 1;
        options.transactions = 0;
        options.newerTables = NewerTables::kNone;
        return site_tables(make_site(options));
    }();
    if (iequals(file, transact_table().file)) return transact_table();
    for (const GeneratedTable& table : tables)
        if (iequals(table.def.file, file)) return table.def;
    throw Error("The generator has no table " + std::string(file) + ".");
}

}  // namespace vaq::bench
