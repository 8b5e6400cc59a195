#include "import/import_form.h"

#include <filesystem>

#include "common/dateformat.h"
#include "common/error.h"
#include "db/schema.h"
#include "engine/api/dbi.h"
#include "import/import_file.h"
#include "import/import_ledger.h"
#include "import/import_messages.h"
#include "import/transaction_rows.h"

namespace vaq::import {

namespace {

using window::Control;
namespace ctrller = db::schema::Ctrller;
namespace door = db::schema::Door;
namespace personal = db::schema::Personal;
namespace transact = db::schema::Transact;

constexpr std::string_view kReadFormat = "dd/mm/yyyy";
constexpr std::string_view kWriteFormat = "mm/dd/yyyy";

// Clears the running mark however the import ends.
class RunningMark {
  public:
    explicit RunningMark(bool& running) : running_(running) { running_ = true; }
    ~RunningMark() { running_ = false; }
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;

  private:
    bool& running_;
};

// Opens the controller and staff tables for one import and closes them, and the door table
// the import opens later, when it ends.
class LookupTables {
  public:
    LookupTables(db::Table& controller, db::Table& personnel, db::Table& door)
        : controller_(controller), personnel_(personnel), door_(door) {
        controller_.open();
        try {
            personnel_.open();
        } catch (...) {
            controller_.close();
            throw;
        }
    }
    ~LookupTables() {
        controller_.close();
        personnel_.close();
        door_.close();
    }
    LookupTables(const LookupTables&) = delete;
    LookupTables& operator=(const LookupTables&) = delete;

  private:
    db::Table& controller_;
    db::Table& personnel_;
    db::Table& door_;
};

constexpr std::size_t kLinesPerBatch = 128;

// A line of the import file read ahead: its text, number and the hash of the lines up to it.
struct ReadLine {
    std::string text;
    std::uint64_t number = 0;
    LineHash hash;
};

// The next lines of the file, up to a batch; `hash` is that of the lines before them.
void read_batch(ImportFileReader& reader, LineHash hash, std::vector<ReadLine>& batch) {
    batch.clear();
    while (batch.size() < kLinesPerBatch) {
        std::optional<std::string> line = reader.next_line();
        if (!line) break;
        hash.add(*line);
        batch.push_back({std::move(*line), reader.line_number(), hash});
    }
}

}  // namespace

ImportForm::ImportForm(window::WindowPort& port, db::Session& session)
    : Controller("VAQ", std::string(ctrller::kTable), session),
      Door("VAQ", std::string(door::kTable), session),
      Personnel("VAQ", std::string(personal::kTable), session),
      Transaction("VAQ", std::string(transact::kTable), session),
      port_(port),
      session_(session) {
    Door.set_index_name(std::string(door::ControlID));
    Transaction.set_after_post([this](db::Table& table) { TransactionAfterPost(table); });
}

void ImportForm::Button2Click() {
    // The loop below lets the window answer clicks; a second import inside the first would
    // append to the record the first one is filling.
    if (running_) throw Error("The transaction import is already running.");
    RunningMark mark(running_);

    // Controller, Personnel and Door serve the lookups of this import only. They are closed
    // on every way out: the other jobs have table objects of their own and could not change
    // the structure of these tables while this job holds them open.
    LookupTables lookups(Controller, Personnel, Door);
    lastProblem_.clear();
    const std::optional<std::string> file =
        port_.choose_file(Control::OpenDialog2, port_.application_directory() + "/");
    if (!file) return;
    if (file->empty()) throw Error("No file was named for the import");
    std::error_code error;
    if (!std::filesystem::exists(*file, error)) {
        lastProblem_ = "File not found: " + *file;
        port_.show_message({"File not found.", "VAQ Message", window::BoxIcon::kError});
        return;
    }
    if (std::filesystem::is_directory(*file, error))
        throw Error("'" + shown_value(*file) + "' is a folder, not a file of transactions");
    window::BusyCursor busy(port_);
    import_file(*file);
}

void ImportForm::import_file(const std::string& file) {
    Door.open();
    Transaction.open();
    Personnel.open();
    const std::uint32_t countAtStart = Transaction.record_count();
    const ImportLedger ledger(db::database_directory(session_, Transaction.alias_name()),
                              countAtStart);
    std::uint64_t skipped = 0;
    if (!importEveryLine) {
        if (const std::optional<EarlierImport> earlier = ledger.longest_match(file)) {
            const std::string question =
                "Lines 1-" + std::to_string(earlier->lines) + " of this file were imported on " +
                earlier->date + "; importing from line " + std::to_string(earlier->lines + 1) + ".";
            if (!port_.ask_yes_no({question, "VAQ Message", window::BoxIcon::kWarning})) return;
            skipped = earlier->lines;
        }
    }

    ImportFileReader reader(file);
    LineHash hash;
    for (std::uint64_t n = 0; n < skipped; ++n)
        if (const std::optional<std::string> line = reader.next_line()) hash.add(*line);
    ImportLedger::Recorder record = ledger.record(file);
    if (skipped > 0) record.done(skipped, hash);

    // Lines are read a batch ahead, so that the record of what is being stored is written
    // once a batch and not once a line.
    std::vector<ReadLine> batch;
    std::vector<ImportLedger::PendingLine> pending;
    std::size_t next = 0;
    std::uint64_t stored = 0;
    std::uint64_t lastLine = skipped;
    while (true) {
        try {
            port_.process_events();
        } catch (...) {
            // The window stops the job between two lines: every line so far is done.
            record.finish(lastLine, hash);
            throw;
        }
        if (next == batch.size()) {
            read_batch(reader, hash, batch);
            next = 0;
            if (batch.empty()) break;
            pending.clear();
            // An empty line (the last line of most files among them) holds no transaction.
            for (const ReadLine& line : batch)
                if (!line.text.empty()) pending.push_back({line.number, line.hash.value()});
            if (!pending.empty())
                record.storing(lastLine, hash, countAtStart + static_cast<std::uint32_t>(stored),
                               pending);
        }
        const ReadLine& line = batch[next++];
        if (!line.text.empty()) {
            try {
                import_line(cut_fields(line.text));
            } catch (const Error& failure) {
                record.finish(lastLine, hash);
                throw Error(stopped_at_line(line.number, failure.what(), skipped + 1, stored));
            } catch (...) {
                record.finish(lastLine, hash);
                throw;
            }
            ++stored;
        }
        lastLine = line.number;
        hash = line.hash;
    }
    record.finish(lastLine, hash);
}

void ImportForm::import_line(const std::vector<std::string>& fields) {
    append_transaction(fields[0]);
    try {
        if (fields.size() > 1) Transaction.set_field_text(transact::TTime, fields[1]);
        if (fields.size() > 2) look_up_controller(fields[2]);
        if (fields.size() > 3) look_up_door(fields[3]);
        if (fields.size() > 4) write_card(fields[4]);
        if (fields.size() > 5) Transaction.set_field_text(transact::EventID, fields[5]);
        Transaction.post();
    } catch (...) {
        // The record of a failed line must not be stored by a later post.
        Transaction.cancel();
        throw;
    }
}

void ImportForm::append_transaction(const std::string& dateField) {
    set_short_date_format(kReadFormat);
    Date date;
    try {
        date = parse_date_time(dateField).date;
    } catch (const Error&) {
        throw Error("'" + shown_value(dateField) + "' is not a valid date and time");
    }
    Transaction.append();
    set_short_date_format(kWriteFormat);
    Transaction.set_field_text(transact::TDate, format_date(date, kWriteFormat));
}

void ImportForm::look_up_controller(const std::string& number) {
    if (!Controller.locate(ctrller::ID, db::LocateValue(number))) return;
    const db::FieldValue key = Controller.field_by_name(ctrller::ControllerID);
    Transaction.set_field_text(transact::ControllerID, key.as_string());
    rememberedControllerKey_ = key.as_integer();
}

void ImportForm::look_up_door(const std::string& number) {
    const db::LocateValue values[] = {db::LocateValue(rememberedControllerKey_),
                                      db::LocateValue(number)};
    const std::string fields = std::string(door::ControllerID) + ";" + std::string(door::ID);
    if (!Door.locate(fields, values)) return;
    Transaction.set_field_text(transact::DoorID, Door.field_by_name(door::DoorID).as_string());
    Transaction.set_field_text(transact::Door, Door.field_by_name(door::Name).as_string());
}

void ImportForm::write_card(const std::string& cardNumber) {
    Transaction.set_field_text(transact::CardID, zero_pad(cardNumber, kCardNumberWidth));
    const std::string stored = Transaction.field_by_name(transact::CardID).as_string();
    db::LocateOptions ignoreCase;
    ignoreCase.case_insensitive = true;
    if (!Personnel.locate(personal::CardID, db::LocateValue(stored), ignoreCase)) return;
    Transaction.set_field_text(transact::PersonalID,
                               Personnel.field_by_name(personal::PersonalID).as_string());
    Transaction.set_field_text(transact::StaffID,
                               Personnel.field_by_name(personal::StaffID).as_string());
}

void ImportForm::TransactionAfterPost(db::Table& table) {
    ++*storedRecords_;
    // A record whose save fails is not reported as imported.
    pdx::check(pdx::DbiSaveChanges(table.handle()));
}

std::shared_ptr<const window::RowSource> ImportForm::transaction_rows() {
    if (!Transaction.active()) {
        rows_.reset();
        return nullptr;
    }
    if (!rows_)
        rows_ = std::make_shared<TransactionRows>(
            Transaction.alias_name(), Transaction.table_name(), session_, storedRecords_);
    return rows_;
}

}  // namespace vaq::import
