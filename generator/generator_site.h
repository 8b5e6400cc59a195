#pragma once

// The installation a generated database describes: controllers and their doors, staff with
// their cards, departments, security groups, and the stream of card events at the doors.
// Everything here is plain data made from the generator's options; generator_tables.h turns
// it into the rows of the old tables.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "generator/generator_random.h"

namespace vaq::bench {

// Which tables of newer program versions an old database already holds.
enum class NewerTables {
    kNone,  // the oldest layout: only the tables of the access-control program
    kSome,  // an intermediate version: departments, working days, time tables, relays, report
    kAll,   // every table the upgrade would create, each in its first layout
};

struct SiteOptions {
    int controllers = 4;
    int doorsPerController = 2;
    int staff = 200;
    std::int64_t transactions = 10'000;
    std::uint64_t seed = 1;
    int events = 30;  // event codes 0..events-1 named in the events table
    int firstYear = 2001;
    int years = 5;  // transactions are spread over these years
    NewerTables newerTables = NewerTables::kSome;
};

// Throws vaq::Error naming the option when a value is out of range.
void check_site_options(const SiteOptions& options);

struct Department {
    int deptId = 0;  // 1, 2, ...
    std::string name;
    int lateAllowance = 0;
    bool enableLateAllowance = false;
};

struct SecurityGroup {
    int securityGroupId = 0;  // as the table numbers it: 1, 2, ...
    std::string name;
    int timeZoneId = 0;
};

struct Controller {
    int controllerId = 0;  // the key: 1, 2, ...
    int address = 0;       // the number on the controller bus (column ID), unique
    std::string name;
    std::string location;
    int commPort = 1;
    int baudRate = 9600;
    std::string ipAddress;  // empty for a controller on a serial line
    std::string firmware;
    bool active = true;
};

struct Door {
    int doorId = 0;  // as the table numbers it: 1, 2, ... in the order of the doors
    int controllerId = 0;
    int number = 0;  // 1.. within its controller (column ID)
    std::string name;
    int openTime = 5;
    int mode = 0;
    int forceOpenTimeTable = 0;
    int cancelPinTimeTable = 0;
    int monitorTime = 15;
    bool pin = false;
    bool antiPassBack = false;
    bool holiday = false;
    std::string inReaderSerial;
    std::string outReaderSerial;
    std::string relaySerial;
};

struct AntiPassBackRule {
    int controllerId = 0;
    int fromDoor = 0;  // door numbers within the controller
    int fromDirection = 0;
    int toDoor = 0;
    int toDirection = 1;
};

struct Staff {
    int personalId = 0;  // as the table numbers it: 1, 2, ...
    std::string cardId;  // empty when no card was issued; unique except for reissued cards
    std::string staffId;
    std::string name;
    int deptIndex = 0;  // into Site::departments
    std::string department;
    std::string designation;
    int securityGroupId = 0;
    Date joined;
    bool active = true;
};

struct Site {
    SiteOptions options;
    std::vector<Department> departments;
    std::vector<SecurityGroup> securityGroups;
    std::vector<Controller> controllers;
    std::vector<Door> doors;
    std::vector<Staff> staff;
    std::vector<AntiPassBackRule> antiPassBack;
    std::vector<Date> holidays;  // in date order
    // Indexes into `staff` of the staff with a card, in staff order.
    std::vector<std::size_t> cardHolders;
};

Site make_site(const SiteOptions& options);

// The names of event codes 0..count-1 as the old program wrote them.
std::string event_name(int code);

// Event codes the generator writes into transactions.
inline constexpr int kAccessGranted = 0;
inline constexpr int kAccessGrantedPin = 1;
inline constexpr int kInvalidCard = 2;
inline constexpr int kInvalidTimeZone = 3;
inline constexpr int kDoorForcedOpen = 6;
inline constexpr int kExitButton = 9;

struct Transaction {
    std::int64_t transId = 0;  // as the table numbers it: 1, 2, ...
    Date date;
    Time time;
    int controllerId = 0;
    int doorId = 0;
    std::string doorName;
    std::string cardId;             // empty for an event without a card
    std::optional<int> personalId;  // the card holder, when the card is known
    std::string staffId;            // mostly empty: the back-fill has to fill it
    int eventId = 0;
};

// The card events of a site in the order they happened, made one at a time so that a
// table of millions of rows never sits in memory. Days are weighted (weekdays busy,
// weekends and holidays quiet) and each day's events are sorted by time.
class TransactionStream {
  public:
    explicit TransactionStream(const Site& site);

    // The next transaction; false after the last one.
    bool next(Transaction& out);
    std::int64_t produced() const { return produced_; }

  private:
    void fill_day();
    void make_event(Transaction& t);

    const Site& site_;
    Random random_;
    std::vector<std::int32_t> dayNumbers_;
    std::vector<std::int64_t> cumulativeWeight_;  // cumulativeWeight_[d] = weight of days < d
    std::size_t day_ = 0;
    std::vector<Time> dayTimes_;
    std::size_t nextInDay_ = 0;
    std::int64_t produced_ = 0;
};

}  // namespace vaq::bench
