// The installation the generator describes: sizes, keys, card numbers and the stream of
// transactions, checked on the data before anything is written.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "common/error.h"
#include "common/text.h"
#include "generator/generator_site.h"

namespace vaq::bench {
namespace {

SiteOptions medium_site() {
    SiteOptions options;
    options.controllers = 6;
    options.doorsPerController = 3;
    options.staff = 3000;
    options.transactions = 20'000;
    options.seed = 42;
    return options;
}

std::vector<Transaction> all_transactions(const Site& site) {
    std::vector<Transaction> out;
    TransactionStream stream(site);
    Transaction t;
    while (stream.next(t))
        out.push_back(t);
    return out;
}

bool same_transaction(const Transaction& a, const Transaction& b) {
    return a.transId == b.transId && a.date == b.date && a.time == b.time && a.doorId == b.doorId &&
           a.cardId == b.cardId && a.personalId == b.personalId && a.staffId == b.staffId &&
           a.eventId == b.eventId;
}

TEST(GeneratorSite, SizesAndKeysFollowTheOptions) {
    const Site site = make_site(medium_site());
    ASSERT_EQ(site.controllers.size(), 6u);
    ASSERT_EQ(site.doors.size(), 18u);
    ASSERT_EQ(site.staff.size(), 3000u);

    std::set<int> addresses;
    for (std::size_t i = 0; i < site.controllers.size(); ++i) {
        EXPECT_EQ(site.controllers[i].controllerId, static_cast<int>(i) + 1);
        addresses.insert(site.controllers[i].address);
        EXPECT_LE(site.controllers[i].name.size(), 30u);
    }
    EXPECT_EQ(addresses.size(), site.controllers.size()) << "bus addresses must be unique";

    for (std::size_t i = 0; i < site.doors.size(); ++i) {
        const Door& door = site.doors[i];
        EXPECT_EQ(door.doorId, static_cast<int>(i) + 1);
        EXPECT_EQ(door.controllerId, static_cast<int>(i / 3) + 1);
        EXPECT_EQ(door.number, static_cast<int>(i % 3) + 1);
        EXPECT_LE(door.name.size(), 30u);
        EXPECT_EQ(door.inReaderSerial.size(), 8u);
    }
    for (const AntiPassBackRule& rule : site.antiPassBack) {
        EXPECT_GE(rule.controllerId, 1);
        EXPECT_LE(rule.controllerId, 6);
        EXPECT_NE(rule.fromDoor, rule.toDoor);
    }
}

TEST(GeneratorSite, CardNumbersCoverTheFormatsInUse) {
    const Site site = make_site(medium_site());
    int empty = 0, shortNumbers = 0, long10 = 0, longer = 0, lower = 0, upper = 0;
    std::map<std::string, std::vector<std::size_t>> holders;
    for (std::size_t i = 0; i < site.staff.size(); ++i) {
        const std::string& card = site.staff[i].cardId;
        if (card.empty()) {
            ++empty;
            continue;
        }
        holders[card].push_back(i);
        shortNumbers += card.size() < 10;
        long10 += card.size() == 10;
        longer += card.size() > 10;
        lower += card != ascii_upper(card);
        upper += card != ascii_lower(card);
    }
    EXPECT_GT(empty, 0);
    EXPECT_GT(shortNumbers, 0);
    EXPECT_GT(long10, 0);
    EXPECT_GT(longer, 0);
    EXPECT_GT(lower, 0);
    EXPECT_GT(upper, 0);

    // A card held twice was reissued: the earlier holder has left.
    int reissued = 0;
    for (const auto& [card, rows] : holders) {
        if (rows.size() < 2) continue;
        ++reissued;
        EXPECT_FALSE(site.staff[rows.front()].active) << card;
        EXPECT_TRUE(site.staff[rows.back()].active) << card;
    }
    EXPECT_GT(reissued, 0);
}

TEST(GeneratorSite, TheSameSeedGivesTheSameSiteAndTransactions) {
    const Site a = make_site(medium_site());
    const Site b = make_site(medium_site());
    SiteOptions other = medium_site();
    other.seed = 43;
    const Site c = make_site(other);

    ASSERT_EQ(a.staff.size(), b.staff.size());
    bool differs = false;
    for (std::size_t i = 0; i < a.staff.size(); ++i) {
        EXPECT_EQ(a.staff[i].cardId, b.staff[i].cardId);
        EXPECT_EQ(a.staff[i].name, b.staff[i].name);
        differs = differs || a.staff[i].cardId != c.staff[i].cardId;
    }
    EXPECT_TRUE(differs) << "another seed should give other cards";

    const std::vector<Transaction> ta = all_transactions(a);
    const std::vector<Transaction> tb = all_transactions(b);
    ASSERT_EQ(ta.size(), tb.size());
    for (std::size_t i = 0; i < ta.size(); ++i) {
        ASSERT_TRUE(same_transaction(ta[i], tb[i])) << "transaction " << i + 1;
    }
}

TEST(GeneratorSite, TransactionsReferToTheSiteInTimeOrder) {
    const Site site = make_site(medium_site());
    const std::vector<Transaction> all = all_transactions(site);
    ASSERT_EQ(all.size(), 20'000u);

    std::map<std::string, const Staff*> byCard;
    for (const Staff& s : site.staff)
        byCard.emplace(s.cardId, &s);

    int blankStaffId = 0, otherCase = 0, unknownCard = 0, noCard = 0;
    std::set<int> years;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Transaction& t = all[i];
        EXPECT_EQ(t.transId, static_cast<std::int64_t>(i) + 1);
        if (i > 0) {
            const Transaction& p = all[i - 1];
            ASSERT_TRUE(p.date < t.date || (p.date == t.date && !(t.time < p.time)))
                << "transaction " << t.transId << " is earlier than the one before it";
        }
        years.insert(t.date.year);
        ASSERT_GE(t.doorId, 1);
        ASSERT_LE(t.doorId, static_cast<int>(site.doors.size()));
        const Door& door = site.doors[static_cast<std::size_t>(t.doorId - 1)];
        EXPECT_EQ(t.controllerId, door.controllerId);
        EXPECT_EQ(t.doorName, door.name);
        EXPECT_LT(t.eventId, site.options.events);
        blankStaffId += t.staffId.empty();

        if (t.cardId.empty()) {
            ++noCard;
            EXPECT_FALSE(t.personalId.has_value());
        } else if (t.personalId) {
            const Staff& holder = site.staff[static_cast<std::size_t>(*t.personalId - 1)];
            ASSERT_TRUE(iequals(t.cardId, holder.cardId)) << "transaction " << t.transId;
            otherCase += t.cardId != holder.cardId;
        } else {
            ++unknownCard;
            EXPECT_EQ(byCard.count(t.cardId), 0u) << t.cardId;
            EXPECT_EQ(t.eventId, kInvalidCard);
        }
    }
    EXPECT_EQ(years, (std::set<int>{2001, 2002, 2003, 2004, 2005}));
    EXPECT_GT(blankStaffId, 15'000) << "most staff IDs are left for the back-fill";
    EXPECT_GT(otherCase, 0);
    EXPECT_GT(unknownCard, 0);
    EXPECT_GT(noCard, 0);
}

TEST(GeneratorSite, SmallAndEmptySitesWork) {
    SiteOptions options;
    options.controllers = 1;
    options.doorsPerController = 1;
    options.staff = 0;
    options.transactions = 7;
    options.events = 1;
    options.years = 1;
    const Site site = make_site(options);
    const std::vector<Transaction> all = all_transactions(site);
    ASSERT_EQ(all.size(), 7u);
    for (const Transaction& t : all) {
        EXPECT_EQ(t.eventId, kInvalidCard) << "without staff every card is unknown";
        EXPECT_FALSE(t.personalId.has_value());
    }

    options.transactions = 0;
    EXPECT_TRUE(all_transactions(make_site(options)).empty());
}

TEST(GeneratorSite, OptionsOutOfRangeAreRefusedByName) {
    const auto message = [](SiteOptions options) -> std::string {
        try {
            check_site_options(options);
        } catch (const Error& error) {
            return error.what();
        }
        return "";
    };
    SiteOptions o;
    o.staff = -1;
    EXPECT_NE(message(o).find("--staff"), std::string::npos);
    o = {};
    o.controllers = 2000;
    o.doorsPerController = 20;
    EXPECT_NE(message(o).find("Too many doors"), std::string::npos);
    o = {};
    o.controllers = 0;
    EXPECT_NE(message(o).find("Transactions need doors"), std::string::npos);
    o.transactions = 0;
    EXPECT_EQ(message(o), "");
    o = {};
    o.events = 0;
    EXPECT_NE(message(o).find("--events"), std::string::npos);
}

}  // namespace
}  // namespace vaq::bench
