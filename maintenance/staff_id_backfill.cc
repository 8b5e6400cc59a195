// The staff ID back-fill ("Update StaffID") and its remaining-time estimate.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"
#include "common/huge_page_array.h"
#include "db/schema.h"
#include "maintenance/backfill_texts.h"
#include "maintenance/maintenance_form.h"

namespace vaq::maintenance {

namespace {

using window::Control;
namespace personal = db::schema::Personal;
namespace transact = db::schema::Transact;

// Table1 is bound to the transaction table by this name, without its extension.
constexpr std::string_view kTransactTable = "Transact";

// Equal texts, compared here rather than by a library call: IDs are a few bytes long and
// compared for every transaction.
bool same_id(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

}  // namespace

// Staff IDs by card ID, looked up once for every transaction. With many staff the table
// is far larger than the processor caches and the time goes into waiting for memory, so it
// is laid out for one cache miss a lookup, which begin() starts early, and kept on huge pages
// so that the miss is not also a walk of the page tables. Open addressing over slots of 32
// bytes that hold the card ID and staff ID themselves when they fit (10 digits
// and an ID of a few letters do). Longer pairs are read from `pairs_`, where every pair is
// kept, one after another. Every pair is added first, then index() places them all at once.
class StaffIdsByCard {
  public:
    explicit StaffIdsByCard(std::size_t expectedPairs) {
        pairs_.reserve(expectedPairs * kGuessedPairSize);
    }

    // Collects a pair; find() sees it after index().
    void add(std::string_view cardId, std::string_view staffId) {
        const std::size_t at = pairs_.size();
        if (at >= kEmpty)
            throw Error("The card IDs and staff IDs of the staff table do not fit in 4 GB.");
        const std::uint32_t lengths[2] = {static_cast<std::uint32_t>(cardId.size()),
                                          static_cast<std::uint32_t>(staffId.size())};
        pairs_.append(reinterpret_cast<const char*>(lengths), sizeof lengths);
        pairs_.append(cardId).append(staffId);
        ++pairCount_;
    }

    // Places every pair added, in the order added, into slots of which at most three in
    // four are used. A card given again keeps its first staff ID: the later pair is left out.
    void index() {
        slots_ = HugePageArray<Slot>(std::bit_ceil(pairCount_ + pairCount_ / 3 + 1));
        for (std::size_t at = 0; at < pairs_.size();) {
            const Pair pair = pair_at(static_cast<std::uint32_t>(at));
            const std::uint64_t hash = hash_of(pair.cardId);
            Slot& slot = slots_[find_slot(pair.cardId, hash)];
            if (slot.pair == kEmpty) slot = slot_for(pair, tag_of(hash), at);
            at += sizeof(std::uint32_t[2]) + pair.cardId.size() + pair.staffId.size();
        }
    }

    // A lookup begun: the card ID's slot is on its way from memory while the caller goes on
    // with other work.
    struct Lookup {
        std::string_view cardId;
        std::uint64_t hash;
    };
    Lookup begin(std::string_view cardId) const {
        const std::uint64_t hash = hash_of(cardId);
        // The slot and, for a card whose slot was taken, the ones after it.
        const std::size_t first = hash & (slots_.size() - 1);
        __builtin_prefetch(&slots_[first]);
        __builtin_prefetch(&slots_[std::min(first + 2, slots_.size() - 1)]);
        // GCC counts a prefetch as no effect at all and drops it where nothing else around it
        // has one; this empty statement is an effect it keeps, and the prefetches with it.
        asm volatile("");
        return {cardId, hash};
    }

    // The staff ID of the card ID, letter case significant; nothing when no staff member has
    // it.
    std::optional<std::string_view> find(const Lookup& lookup) const {
        const Slot& slot = slots_[find_slot(lookup.cardId, lookup.hash)];
        if (slot.pair == kEmpty) return std::nullopt;
        return pair_of(slot).staffId;
    }

  private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;
    static constexpr std::size_t kCopiedText = 22;
    struct alignas(32) Slot {
        std::uint32_t tag = 0;  // the upper half of the card ID's hash
        std::uint32_t pair = kEmpty;
        // The pair's copy: the card ID, then the staff ID; a card ID of length 0 means none.
        std::uint8_t cardLength = 0;
        std::uint8_t staffLength = 0;
        char text[kCopiedText] = {};
    };
    static_assert(sizeof(Slot) == 32);
    // Two lengths, a card ID of 10 digits and a staff ID a little shorter.
    static constexpr std::size_t kGuessedPairSize = 24;

    // In pairs_: the two lengths (4 bytes each, in this machine's order), then the texts.
    struct Pair {
        std::string_view cardId;
        std::string_view staffId;
    };

    static Slot slot_for(const Pair& pair, std::uint32_t tag, std::size_t at) {
        Slot slot;
        slot.tag = tag;
        slot.pair = static_cast<std::uint32_t>(at);
        if (pair.cardId.size() + pair.staffId.size() <= kCopiedText) {
            slot.cardLength = static_cast<std::uint8_t>(pair.cardId.size());
            slot.staffLength = static_cast<std::uint8_t>(pair.staffId.size());
            std::memcpy(slot.text, pair.cardId.data(), pair.cardId.size());
            std::memcpy(slot.text + pair.cardId.size(), pair.staffId.data(), pair.staffId.size());
        }
        return slot;
    }

    Pair pair_of(const Slot& slot) const {
        if (slot.cardLength == 0) return pair_at(slot.pair);
        return {{slot.text, slot.cardLength}, {slot.text + slot.cardLength, slot.staffLength}};
    }

    Pair pair_at(std::uint32_t at) const {
        std::uint32_t lengths[2];
        std::memcpy(lengths, pairs_.data() + at, sizeof lengths);
        const char* text = pairs_.data() + at + sizeof lengths;
        return {{text, lengths[0]}, {text + lengths[0], lengths[1]}};
    }

    // Eight bytes at a time, then the finishing steps of splitmix64 so that the low bits,
    // which choose the slot, depend on every byte.
    static std::uint64_t hash_of(std::string_view text) {
        std::uint64_t hash = 0x9E3779B97F4A7C15ULL ^ text.size();
        std::size_t at = 0;
        for (; at + 8 <= text.size(); at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, 8);
            hash = std::rotl((hash ^ word) * 0xBF58476D1CE4E5B9ULL, 31);
        }
        // The last bytes one by one: a copy of a varying length would be a call.
        std::uint64_t rest = 0;
        for (std::size_t i = text.size(); i > at; --i)
            rest = (rest << 8) | static_cast<unsigned char>(text[i - 1]);
        hash ^= rest;
        hash = (hash ^ (hash >> 30)) * 0xBF58476D1CE4E5B9ULL;
        hash = (hash ^ (hash >> 27)) * 0x94D049BB133111EBULL;
        return hash ^ (hash >> 31);
    }
    static std::uint32_t tag_of(std::uint64_t hash) {
        return static_cast<std::uint32_t>(hash >> 32);
    }

    // The slot holding `cardId`, or the empty slot where it would go.
    std::size_t find_slot(std::string_view cardId, std::uint64_t hash) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots_[i];
            if (slot.pair == kEmpty) return i;
            if (slot.tag == tag_of(hash) && same_id(pair_of(slot).cardId, cardId)) return i;
        }
    }

    std::string pairs_;
    std::size_t pairCount_ = 0;
    // A power of two of them; the one empty slot finds nothing before index().
    HugePageArray<Slot> slots_ = HugePageArray<Slot>(1);
};

namespace {

// The staff ID of the first staff record, in the table's order, of every card ID. Card IDs
// compare exactly, letter case significant. A staff record without a card is left out: a
// transaction without a card number belongs to nobody, not to the first staff member who
// has no card.
StaffIdsByCard staff_ids_by_card(db::Table& personnel) {
    StaffIdsByCard staffIds(personnel.record_count());
    const auto add = [&](std::string_view cardId, std::string_view staffId) {
        if (!cardId.empty()) staffIds.add(cardId, staffId);
    };
    // Text fields are read straight from the records; other types, and a table lacking a
    // field (which fails as it always did), through the field values.
    const bool bothFields =
        personnel.find_field(personal::CardID) && personnel.find_field(personal::StaffID);
    if (!bothFields || !personnel.read_each_text(personal::CardID, personal::StaffID, add)) {
        for (personnel.first(); !personnel.eof(); personnel.next()) {
            const std::string cardId = personnel.field_by_name(personal::CardID).as_string();
            if (cardId.empty()) continue;
            staffIds.add(cardId, personnel.field_by_name(personal::StaffID).as_string());
        }
    }
    staffIds.index();
    personnel.first();
    return staffIds;
}

// The staff ID a transaction holding `stored` is to get from its card holder's `staffId`,
// counted in `result`; nothing when it keeps its own. A transaction that has the staff ID
// already is left as it is: storing it again would change nothing. A card holder without a
// staff ID has nothing to give: a blank never replaces a staff ID the transaction has.
std::optional<std::string_view> staff_id_to_write(std::string_view staffId, std::string_view stored,
                                                  StaffIdBackfill& result) {
    if (same_id(stored, staffId)) {
        ++result.alreadyFilled;
        return std::nullopt;
    }
    if (staffId.empty() && !stored.empty()) {
        ++result.blankHolderKept;
        return std::nullopt;
    }
    ++result.filled;
    return staffId;
}

}  // namespace

std::string backfill_summary(const StaffIdBackfill& result) {
    return std::to_string(result.read) + " transactions read: " + std::to_string(result.filled) +
           " filled, " + std::to_string(result.alreadyFilled) + " already filled, " +
           std::to_string(result.noStaffMatched) + " without a matching staff record, " +
           std::to_string(result.blankHolderKept) +
           " kept because the card holder has no staff ID.";
}

void MaintenanceForm::BitBtn3Click() {
    const std::string start = time_stamp(clock());
    port_.set_enabled(Control::PageControl1, false);
    port_.set_enabled(Control::BitBtn3, false);
    port_.set_visible(Control::Animate1, true);
    port_.set_running(Control::Animate1, true);
    lastBackfill_ = {};
    try {
        lastBackfill_ = backfill_staff_ids();
    } catch (...) {
        // The error reaches the error box; the page must not stay disabled behind it.
        restore_idle_page();
        throw;
    }
    const std::string end = time_stamp(clock());
    port_.set_running(Control::Timer1, false);
    port_.set_text(Control::Label29, "");
    Table1.close();
    tickCount_ = 0;
    port_.set_text(Control::Memo2, completion_line(start, end));
    port_.set_visible(Control::Animate1, false);
    port_.set_running(Control::Animate1, false);
    port_.show_message({"Update Completed", "", window::BoxIcon::kNone});
    port_.set_enabled(Control::PageControl1, true);
    port_.set_enabled(Control::BitBtn3, true);
    port_.set_position(Control::bar1, 0);
}

// One walk of the transaction table that changes each transaction where it stands, rather
// than an edit and a post per transaction; false, with nothing done, when the table's card
// ID and staff ID fields are not both text.
bool MaintenanceForm::backfill_in_place(const StaffIdsByCard& staffIds, StaffIdBackfill& result) {
    recordsWalked_ = 0;
    walkingInPlace_ = true;
    const auto walked = [this] {
        ++recordsWalked_;
        port_.set_position(Control::bar1, static_cast<int>(recordsWalked_));
        port_.process_events();
    };
    const auto staffIdFor = [&](std::string_view cardId,
                                std::string_view stored) -> std::optional<std::string_view> {
        ++result.read;
        const auto staffId = cardId.empty() ? std::nullopt : staffIds.find(staffIds.begin(cardId));
        if (!staffId) {
            ++result.noStaffMatched;
            return std::nullopt;
        }
        return staff_id_to_write(*staffId, stored, result);
    };
    try {
        const bool done =
            Table1.rewrite_text(transact::CardID, transact::StaffID, staffIdFor, walked);
        walkingInPlace_ = false;
        return done;
    } catch (...) {
        walkingInPlace_ = false;
        throw;
    }
}

StaffIdBackfill MaintenanceForm::backfill_staff_ids() {
    StaffIdBackfill result;
    Table1.close();
    Table1.set_table_name(std::string(kTransactTable));
    Table1.open();
    const bool personnelWasOpen = Personnel.active();
    Personnel.open();
    Personnel.first();
    const StaffIdsByCard staffIds = staff_ids_by_card(Personnel);
    // Only this run needed the staff table; another job may need it free to change its
    // structure.
    if (!personnelWasOpen) Personnel.close();

    port_.set_range(Control::bar1, 0, static_cast<int>(Table1.record_count()));
    port_.set_running(Control::Timer1, true);
    // A table without the staff ID field reads it only for a card found, to fail where it
    // always failed.
    const bool hasStaffId = Table1.find_field(transact::StaffID);
    if (hasStaffId && backfill_in_place(staffIds, result)) return result;

    const std::uint32_t count = Table1.record_count();
    const auto staffIdOfTransaction = [this] {
        return Table1.field_by_name(transact::StaffID).as_string();
    };
    Table1.first();
    for (std::uint32_t done = 0; done < count && !Table1.eof(); ++done) {
        const std::string cardId = Table1.field_by_name(transact::CardID).as_string();
        const auto lookup = staffIds.begin(cardId);
        // The transaction's staff ID is read while the card ID's lookup waits for memory.
        std::string stored = hasStaffId ? staffIdOfTransaction() : std::string();
        const auto staffId = cardId.empty() ? std::nullopt : staffIds.find(lookup);
        ++result.read;
        if (!staffId) {
            ++result.noStaffMatched;
        } else {
            if (!hasStaffId) stored = staffIdOfTransaction();
            if (const auto write = staff_id_to_write(*staffId, stored, result)) {
                Table1.edit();
                Table1.set_field_text(transact::StaffID, *write);
                Table1.post();
            }
        }
        Table1.next();
        port_.set_position(Control::bar1, static_cast<int>(done + 1));
        port_.process_events();
    }
    return result;
}

void MaintenanceForm::restore_idle_page() {
    port_.set_running(Control::Timer1, false);
    port_.set_text(Control::Label29, "");
    Table1.close();
    tickCount_ = 0;
    port_.set_visible(Control::Animate1, false);
    port_.set_running(Control::Animate1, false);
    port_.set_enabled(Control::PageControl1, true);
    port_.set_enabled(Control::BitBtn3, true);
    port_.set_position(Control::bar1, 0);
}

void MaintenanceForm::Timer1Timer() {
    ++tickCount_;
    if (!Table1.active()) return;
    // The walk in place leaves the cursor where it is; it counts the records it has done.
    const std::uint32_t current = walkingInPlace_ ? recordsWalked_ : Table1.rec_no();
    port_.set_text(Control::Label29,
                   remaining_time_text(Table1.record_count(), current, tickCount_));
}

}  // namespace vaq::maintenance
