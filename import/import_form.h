#pragma once

// The transaction import of the main window ("Import Transaction "): each line of a chosen
// file becomes one new record of the transaction table, its controller, door and card
// holder resolved through the controller, door and staff tables, and every record is saved
// to disk as soon as it is stored.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/session.h"
#include "db/table.h"
#include "port/row_source.h"
#include "port/window_port.h"

namespace vaq::import {

class ImportForm {
  public:
    // Table objects work on the alias VAQ of `session`.
    explicit ImportForm(window::WindowPort& port, db::Session& session = db::default_session());
    ImportForm(const ImportForm&) = delete;
    ImportForm& operator=(const ImportForm&) = delete;

    // ---- handlers ----
    // "Import Transaction ": asks for the file and imports it. Refused with an error while
    // an import is running (its loop lets the window answer clicks).
    void Button2Click();
    // After every record stored through Transaction: the engine saves the table's changes.
    void TransactionAfterPost(db::Table& table);

    // The controller key the door lookups use: that of the last controller found, during
    // this run of the program; 0 before any.
    std::int64_t remembered_controller_key() const { return rememberedControllerKey_; }
    // A key remembered from an earlier run of the import in the same program (the shell
    // starts a new form for every command).
    void set_remembered_controller_key(std::int64_t key) { rememberedControllerKey_ = key; }
    bool running() const { return running_; }

    // Every line of the file is imported, also lines an earlier import stored already.
    bool importEveryLine = false;
    // What kept the last import from starting, shown in a box ("File not found: NAME");
    // empty when nothing did. Errors are raised instead.
    const std::string& last_problem() const { return lastProblem_; }

    // The rows of Transaction for the grid while the table object is open, else null.
    std::shared_ptr<const window::RowSource> transaction_rows();

    // ---- the objects of the window ----
    db::Table Controller;
    db::Table Door;
    db::Table Personnel;
    db::Table Transaction;

  private:
    void import_file(const std::string& file);
    void import_line(const std::vector<std::string>& fields);
    void append_transaction(const std::string& dateField);
    void look_up_controller(const std::string& number);
    void look_up_door(const std::string& number);
    void write_card(const std::string& cardNumber);

    window::WindowPort& port_;
    db::Session& session_;
    std::int64_t rememberedControllerKey_ = 0;
    bool running_ = false;
    std::string lastProblem_;
    // Stored records since the program started, so that the grid knows to read again.
    std::shared_ptr<std::uint64_t> storedRecords_ = std::make_shared<std::uint64_t>(0);
    std::shared_ptr<const window::RowSource> rows_;
};

}  // namespace vaq::import
