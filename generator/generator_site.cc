#include "generator/generator_site.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <unordered_set>

#include "common/error.h"
#include "common/text.h"

namespace vaq::bench {

namespace {

using Names = std::span<const std::string_view>;

constexpr std::array<std::string_view, 40> kFirstNames = {
    "James",   "Mary",     "Wei Ming", "Siti",    "Ahmad",  "Priya",   "John",       "Linda",
    "Kumar",   "Mei Ling", "David",    "Nurul",   "Robert", "Susan",   "Hock Seng",  "Aisha",
    "Michael", "Karen",    "Rajesh",   "Hui Min", "Peter",  "Farah",   "Thomas",     "Grace",
    "Ravi",    "Li Na",    "Daniel",   "Zainab",  "Kevin",  "Anita",   "Chee Keong", "Emma",
    "Arjun",   "Yan Ting", "Richard",  "Fatimah", "Steven", "Jessica", "Muthu",      "Xiao Hong",
};

constexpr std::array<std::string_view, 40> kLastNames = {
    "Tan",      "Lim",     "Wong",     "Lee",    "Ng",     "Ong",    "Chua",      "Goh",
    "Abdullah", "Ismail",  "Rahman",   "Hassan", "Kumar",  "Raj",    "Singh",     "Pillai",
    "Smith",    "Johnson", "Brown",    "Taylor", "Wilson", "Davies", "Evans",     "Walker",
    "Chen",     "Huang",   "Zhang",    "Liu",    "Nair",   "Menon",  "Fernandez", "Santos",
    "O'Brien",  "Murphy",  "Anderson", "Clarke", "Yusof",  "Osman",  "Krishnan",  "Teo",
};

constexpr std::array<std::string_view, 12> kDepartmentNames = {
    "Administration", "Finance",  "Human Resources",  "Information Technology",
    "Engineering",    "Sales",    "Marketing",        "Production",
    "Warehouse",      "Security", "Customer Service", "Research & Development",
};

constexpr std::array<std::string_view, 12> kDesignations = {
    "Clerk",      "Executive", "Senior Executive", "Manager",  "Assistant Manager",
    "Technician", "Engineer",  "Supervisor",       "Operator", "Driver",
    "Guard",      "Director",
};

constexpr std::array<std::string_view, 8> kSecurityGroupNames = {
    "All Doors", "Office Hours", "Management", "Cleaners",
    "Security",  "Visitors",     "IT Staff",   "Warehouse Shift",
};

constexpr std::array<std::string_view, 10> kLocations = {
    "Head Office", "Block A",  "Block B", "Factory",     "Warehouse",
    "R&D Centre",  "Car Park", "Canteen", "Data Centre", "Branch Office",
};

constexpr std::array<std::string_view, 14> kDoorNames = {
    "Main Entrance", "Lobby",         "Back Door",  "Server Room",    "Store Room",
    "Loading Bay",   "Car Park Gate", "Lift Lobby", "Staff Entrance", "Emergency Exit",
    "Meeting Room",  "Office",        "Pantry",     "Turnstile",
};

// Names the old program gave its event codes; codes past the list are named by number.
constexpr std::array<std::string_view, 30> kEventNames = {
    "Access Granted",
    "Access Granted (PIN)",
    "Invalid Card",
    "Invalid Time Zone",
    "Invalid PIN",
    "Anti-Pass-Back Violation",
    "Door Forced Open",
    "Door Held Open",
    "Door Closed",
    "Exit Button Pressed",
    "Card Expired",
    "Card Suspended",
    "Holiday Access Denied",
    "Door Locked",
    "Door Unlocked",
    "Controller Power Up",
    "Controller Reset",
    "Tamper Alarm",
    "Fire Alarm",
    "Fire Alarm Restored",
    "Duress PIN Entered",
    "Reader Offline",
    "Reader Online",
    "Battery Low",
    "AC Power Fail",
    "AC Power Restored",
    "Alarm Input 1",
    "Alarm Input 2",
    "Relay Activated",
    "Relay Deactivated",
};

constexpr int kMaxControllers = 9999;
constexpr int kMaxDoorsPerController = 64;
// Door numbers are stored in 16-bit columns by the tables that refer to doors.
constexpr int kMaxDoors = 32767;
constexpr int kMaxStaff = 10'000'000;
constexpr std::int64_t kMaxTransactions = 2'000'000'000;
constexpr int kMaxEvents = 1000;

std::string digits(Random& random, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += static_cast<char>('0' + random.between(0, 9));
    return text;
}

std::string hex_digits(Random& random, int count) {
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < count; ++i)
        text += kHex[static_cast<std::size_t>(random.between(0, 15))];
    return text;
}

std::string two_digits(int n) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", n);
    return buffer;
}

// The card formats found in old installations: ten-digit numbers (padded as the import
// pads them), shorter numbers from before the padding, 7-byte card serials in hex written
// in either letter case, visitor cards, and staff without a card.
std::string new_card_number(Random& random) {
    const int kind = random.between(0, 99);
    if (kind < 65) return "00" + digits(random, 8);
    if (kind < 75) return std::to_string(random.between(1, 8)) + digits(random, 7);
    if (kind < 87) return "04" + hex_digits(random, 12);
    if (kind < 92) return ascii_lower("04" + hex_digits(random, 12));
    if (kind < 95) return "V" + digits(random, 9);
    return "";
}

std::vector<Department> make_departments() {
    std::vector<Department> departments;
    for (std::size_t i = 0; i < kDepartmentNames.size(); ++i) {
        const int id = static_cast<int>(i) + 1;
        departments.push_back(
            {id, std::string(kDepartmentNames[i]), id % 3 == 0 ? 10 : 5, id % 2 == 0});
    }
    return departments;
}

std::vector<SecurityGroup> make_security_groups() {
    std::vector<SecurityGroup> groups;
    for (std::size_t i = 0; i < kSecurityGroupNames.size(); ++i) {
        const int id = static_cast<int>(i) + 1;
        groups.push_back({id, std::string(kSecurityGroupNames[i]), id <= 2 ? 1 : id});
    }
    return groups;
}

// Bus addresses: distinct numbers, not in the order of the controller keys, so that a
// mix-up of `ID` and `ControllerID` shows.
std::vector<int> bus_addresses(Random& random, int count) {
    const int range = std::max(255, 2 * count);
    std::vector<int> all(static_cast<std::size_t>(range));
    for (int i = 0; i < range; ++i)
        all[static_cast<std::size_t>(i)] = i + 1;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        const auto j = static_cast<std::size_t>(
            random.between(static_cast<std::int64_t>(i), std::int64_t{range} - 1));
        std::swap(all[i], all[j]);
    }
    all.resize(static_cast<std::size_t>(count));
    return all;
}

void make_controllers_and_doors(Site& site, Random& random) {
    const std::vector<int> addresses = bus_addresses(random, site.options.controllers);
    for (int c = 1; c <= site.options.controllers; ++c) {
        Controller controller;
        controller.controllerId = c;
        controller.address = addresses[static_cast<std::size_t>(c - 1)];
        controller.location = std::string(random.pick(Names(kLocations)));
        controller.name = controller.location + " Ctrl " + two_digits(c);
        controller.commPort = random.between(1, 4);
        controller.baudRate = random.chance(70) ? 9600 : 19200;
        if (random.chance(40)) {
            controller.ipAddress = "192.168." + std::to_string(random.between(0, 20)) + "." +
                                   std::to_string(random.between(2, 254));
        }
        controller.firmware =
            "V" + std::to_string(random.between(1, 3)) + "." + two_digits(random.between(0, 40));
        controller.active = random.chance(95);

        for (int d = 1; d <= site.options.doorsPerController; ++d) {
            Door door;
            door.doorId = static_cast<int>(site.doors.size()) + 1;
            door.controllerId = c;
            door.number = d;
            const std::string_view doorName =
                d == 1 ? kDoorNames[0] : random.pick(Names(kDoorNames));
            door.name = (controller.location + " " + std::string(doorName)).substr(0, 30);
            door.openTime = random.between(3, 10);
            door.mode = random.between(0, 2);
            door.forceOpenTimeTable = random.chance(20) ? random.between(1, 4) : 0;
            door.cancelPinTimeTable = random.chance(10) ? random.between(1, 4) : 0;
            door.monitorTime = random.between(10, 30);
            door.pin = random.chance(20);
            door.holiday = random.chance(50);
            door.inReaderSerial = hex_digits(random, 8);
            if (random.chance(60)) door.outReaderSerial = hex_digits(random, 8);
            door.relaySerial = hex_digits(random, 8);
            site.doors.push_back(std::move(door));
        }
        if (site.options.doorsPerController >= 2 && random.chance(50)) {
            site.antiPassBack.push_back({c, 1, 0, 2, 1});
            const auto first =
                site.doors.size() - static_cast<std::size_t>(site.options.doorsPerController);
            site.doors[first].antiPassBack = true;
            site.doors[first + 1].antiPassBack = true;
        }
        site.controllers.push_back(std::move(controller));
    }
}

void make_staff(Site& site, Random& random) {
    std::unordered_set<std::string> cards;
    const int firstYear = site.options.firstYear;
    for (int i = 1; i <= site.options.staff; ++i) {
        Staff staff;
        staff.personalId = i;
        // A card taken back from a former employee and issued again: both rows carry it,
        // and the former employee's row comes first.
        if (!site.cardHolders.empty() && random.chance(0.5)) {
            const std::size_t earlier = site.cardHolders[static_cast<std::size_t>(random.between(
                std::int64_t{0}, static_cast<std::int64_t>(site.cardHolders.size()) - 1))];
            site.staff[earlier].active = false;
            staff.cardId = site.staff[earlier].cardId;
        } else {
            do {
                staff.cardId = new_card_number(random);
            } while (!staff.cardId.empty() && !cards.insert(staff.cardId).second);
        }
        if (!random.chance(3)) staff.staffId = "E" + std::to_string(10000 + i);
        staff.name = std::string(random.pick(Names(kFirstNames))) + " " +
                     std::string(random.pick(Names(kLastNames)));
        staff.deptIndex = random.between(0, static_cast<int>(site.departments.size()) - 1);
        if (!random.chance(4)) {
            staff.department = site.departments[static_cast<std::size_t>(staff.deptIndex)].name;
        }
        staff.designation = std::string(random.pick(Names(kDesignations)));
        staff.securityGroupId = random.between(1, static_cast<int>(site.securityGroups.size()));
        staff.joined = {random.between(firstYear - 10, firstYear + site.options.years - 1),
                        random.between(1, 12), random.between(1, 28)};
        if (!staff.cardId.empty()) site.cardHolders.push_back(site.staff.size());
        site.staff.push_back(std::move(staff));
    }
}

std::vector<Date> make_holidays(const SiteOptions& options, Random& random) {
    std::vector<Date> holidays;
    for (int year = options.firstYear; year < options.firstYear + options.years; ++year) {
        holidays.push_back({year, 1, 1});
        holidays.push_back({year, 5, 1});
        holidays.push_back({year, 12, 25});
        for (int i = 0; i < 4; ++i) {
            holidays.push_back({year, random.between(1, 12), random.between(1, 28)});
        }
    }
    std::sort(holidays.begin(), holidays.end());
    holidays.erase(std::unique(holidays.begin(), holidays.end()), holidays.end());
    return holidays;
}

void check_range(std::string_view option, std::int64_t value, std::int64_t low, std::int64_t high) {
    if (value < low || value > high) {
        throw Error("Option --" + std::string(option) + " must be between " + std::to_string(low) +
                    " and " + std::to_string(high) + ", not " + std::to_string(value));
    }
}

// Day of the week of a day number, 0 = Monday (0001-01-01 was a Monday).
int weekday(std::int32_t dayNumber) {
    return (dayNumber - 1) % 7;
}

Time random_time(Random& random) {
    int seconds = 0;
    const int kind = random.between(0, 99);
    if (kind < 35) {  // arriving, most around half past eight
        seconds = 7 * 3600 + 1800 + random.between(0, 2700) + random.between(0, 2700);
    } else if (kind < 65) {  // leaving
        seconds = 17 * 3600 + random.between(0, 3600) + random.between(0, 3600);
    } else if (kind < 95) {
        seconds = random.between(9 * 3600, 17 * 3600);
    } else {
        seconds = random.between(0, 86399);
    }
    return {seconds / 3600, seconds / 60 % 60, seconds % 60, 0};
}

std::string flip_letter_case(const std::string& text) {
    std::string flipped = text;
    for (char& c : flipped) {
        if (c >= 'a' && c <= 'z') {
            c = ascii_upper(c);
        } else if (c >= 'A' && c <= 'Z') {
            c = ascii_lower(c);
        }
    }
    return flipped;
}

bool has_letter(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

}  // namespace

void check_site_options(const SiteOptions& options) {
    check_range("controllers", options.controllers, 0, kMaxControllers);
    check_range("doors-per-controller", options.doorsPerController, 0, kMaxDoorsPerController);
    check_range("staff", options.staff, 0, kMaxStaff);
    check_range("transactions", options.transactions, 0, kMaxTransactions);
    check_range("events", options.events, 1, kMaxEvents);
    check_range("first-year", options.firstYear, 1980, 2100);
    check_range("years", options.years, 1, 50);
    const std::int64_t doors =
        std::int64_t{options.controllers} * std::int64_t{options.doorsPerController};
    if (doors > kMaxDoors) {
        throw Error("Too many doors: " + std::to_string(doors) + " (controllers times " +
                    "doors per controller may be at most " + std::to_string(kMaxDoors) + ")");
    }
    if (options.transactions > 0 && doors == 0) {
        throw Error(
            "Transactions need doors: give --controllers and --doors-per-controller "
            "above 0");
    }
}

Site make_site(const SiteOptions& options) {
    check_site_options(options);
    Site site;
    site.options = options;
    site.departments = make_departments();
    site.securityGroups = make_security_groups();
    Random controllers(options.seed, "controllers");
    make_controllers_and_doors(site, controllers);
    Random staff(options.seed, "staff");
    make_staff(site, staff);
    Random holidays(options.seed, "holidays");
    site.holidays = make_holidays(options, holidays);
    return site;
}

std::string event_name(int code) {
    if (code >= 0 && static_cast<std::size_t>(code) < kEventNames.size()) {
        return std::string(kEventNames[static_cast<std::size_t>(code)]);
    }
    return "Event " + std::to_string(code);
}

TransactionStream::TransactionStream(const Site& site)
    : site_(site), random_(site.options.seed, "transactions") {
    const std::int32_t first = to_day_number({site.options.firstYear, 1, 1});
    const std::int32_t end = to_day_number({site.options.firstYear + site.options.years, 1, 1});
    cumulativeWeight_.push_back(0);
    for (std::int32_t day = first; day < end; ++day) {
        const bool holiday =
            std::binary_search(site.holidays.begin(), site.holidays.end(), from_day_number(day));
        const int wd = weekday(day);
        const int weight = holiday ? 1 : wd < 5 ? 10 : wd == 5 ? 3 : 1;
        dayNumbers_.push_back(day);
        cumulativeWeight_.push_back(cumulativeWeight_.back() + weight);
    }
}

bool TransactionStream::next(Transaction& out) {
    while (nextInDay_ == dayTimes_.size()) {
        if (day_ == dayNumbers_.size()) return false;
        fill_day();
    }
    out = Transaction{};
    out.transId = ++produced_;
    out.date = from_day_number(dayNumbers_[day_ - 1]);
    out.time = dayTimes_[nextInDay_++];
    make_event(out);
    return true;
}

// The day's share of the transactions: the count up to the end of the day minus the count
// up to its start, each rounded down, so that the shares add up to the total exactly.
void TransactionStream::fill_day() {
    const std::int64_t total = site_.options.transactions;
    const std::int64_t weight = cumulativeWeight_.back();
    const std::int64_t before = total * cumulativeWeight_[day_] / weight;
    const std::int64_t through = total * cumulativeWeight_[day_ + 1] / weight;
    ++day_;
    dayTimes_.resize(static_cast<std::size_t>(through - before));
    for (Time& t : dayTimes_)
        t = random_time(random_);
    std::sort(dayTimes_.begin(), dayTimes_.end());
    nextInDay_ = 0;
}

void TransactionStream::make_event(Transaction& t) {
    const Door& door = site_.doors[static_cast<std::size_t>(
        random_.between(std::int64_t{0}, static_cast<std::int64_t>(site_.doors.size()) - 1))];
    t.controllerId = door.controllerId;
    t.doorId = door.doorId;
    t.doorName = door.name;

    const int kind = random_.between(0, 99);
    int code = kind < 80   ? kAccessGranted
               : kind < 84 ? kAccessGrantedPin
               : kind < 90 ? kInvalidCard
               : kind < 93 ? kInvalidTimeZone
               : kind < 95 ? kDoorForcedOpen
               : kind < 98 ? kExitButton
                           : random_.between(10, std::max(10, site_.options.events - 1));
    if (code >= site_.options.events) code = kAccessGranted;
    const bool cardEvent = code == kAccessGranted || code == kAccessGrantedPin ||
                           code == kInvalidTimeZone || code == kInvalidCard;
    if (cardEvent && site_.cardHolders.empty()) code = kInvalidCard;
    t.eventId = code;

    if (code == kInvalidCard) {
        t.cardId = "99" + digits(random_, 8);  // no staff card starts so
        return;
    }
    if (!cardEvent) return;
    const Staff& holder = site_.staff[site_.cardHolders[static_cast<std::size_t>(random_.between(
        std::int64_t{0}, static_cast<std::int64_t>(site_.cardHolders.size()) - 1))]];
    t.cardId = holder.cardId;
    // Some readers report hex serials in the other letter case.
    if (has_letter(t.cardId) && random_.chance(15)) t.cardId = flip_letter_case(t.cardId);
    t.personalId = holder.personalId;
    const int staffIdKind = random_.between(0, 99);
    if (staffIdKind >= 95) {
        t.staffId = "T" + digits(random_, 4);  // a stale identifier the back-fill replaces
    } else if (staffIdKind >= 85) {
        t.staffId = holder.staffId;
    }
}

}  // namespace vaq::bench
