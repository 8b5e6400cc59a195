#pragma once

// The texts the upgrade composes: statements sent to the engine and lines of the upgrade log.
// Each is built exactly as the access-control program's own upgrade built it, blanks
// included, so that the statements and log lines match theirs byte for byte.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vaq::upgrade {

// A statement or log message that a step may lack.
using OptionalText = std::optional<std::string_view>;

// ---- AddFieldIfMissing ----
// Select * from 'T'
std::string add_field_select(std::string_view table);
// alter table 'T'  add  F Y (two blanks on either side of add)
std::string add_field_alter(std::string_view table, std::string_view column, std::string_view type);
// "Upgraded Successfully : FField added " (no blank before Field, one blank at the end)
std::string add_field_log(std::string_view column);

// ---- CreateIndex ----
// CREATE INDEX N ON "T"(C)
std::string create_index_statement(std::string_view table, std::string_view index,
                                   std::string_view columns);
std::string create_index_log(std::string_view table);

// ---- Reference data ----
inline constexpr std::string_view kDeleteEvents = "delete from events";
std::string event_insert(int code, std::string_view name);
inline constexpr std::string_view kDeleteCardFormats = "delete from CardFormat";
std::string card_format_insert(int index, std::string_view name);
inline constexpr std::string_view kDeleteDoorStatus = "Delete from DoorStatus.db";
inline constexpr std::string_view kSelectDoors = "Select * from Door.db";
// Insert into DoorStatus Values(ID,128), with the door's DoorID read as text.
std::string door_status_insert(std::string_view doorId);
// The rows of several INSERTs of one row each, "<head>(row)" with the same head (table and
// columns), added by one INSERT: "<head>(row 1), (row 2), ..." in their order. A refill then
// opens its table once rather than once a row, and its rows are added all or none.
// Empty for no INSERT; throws Error when an INSERT has no row or another head.
std::string joined_insert(std::span<const std::string> inserts);
inline constexpr std::string_view kEventTypeUpdatedLog =
    "Upgraded Successfully : Event Type Updated";

// ---- The anti-pass-back rebuild ----
inline constexpr std::string_view kAntiPassBackSelect = "Select * from \"antiPassback.DB\"";
inline constexpr std::string_view kTmpdbFile = "\\tmpdb.DB";
inline constexpr std::string_view kDropTmpdb = "Drop Table \"tmpdb.db\"";
inline constexpr std::string_view kCreateTmpdbLines[] = {
    "CREATE TABLE \"tmpdb.DB\" ( Pkey Autoinc, ControllerID SmallINt,",
    "FromDoorID SmallInt, FromDirection SmallInt, ToDOorID SmallInt, ToDirection SmallInt, ",
    "PRIMARY KEY (pkey))",
};
inline constexpr std::string_view kCopyIntoTmpdbLines[] = {
    "Insert into Tmpdb.DB (ControllerID , FromDoorID , FromDirection ,ToDOorID  , ToDirection)",
    "Select ControllerID , FromDoorID ,  FromDirection ,ToDOorID  , ToDirection From "
    "\"antipassback.db\" ",
};
// The name the table object takes to reach the copy before renaming it.
inline constexpr std::string_view kTmpdbObjectName = "Tmpdb";

}  // namespace vaq::upgrade
