#pragma once

// The parts of a locate: the request (fields and values, prepared once, compared with the
// stored bytes wherever possible) and the lookup a cursor keeps after the second locate on
// the same fields (first record of every key, valid while the table is unchanged).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/format/coding.h"
#include "engine/table/cursor.h"
#include "engine/table/field_input.h"

namespace pdx {

class Table;
struct Field;

// One field of a locate and the value it must have.
class LocateField {
  public:
    LocateField(const Table& table, const Field& field, const FieldInput& input,
                LocateOptions options);

    // No record can match: the value does not fit the field.
    bool cannot_match() const { return kind_ == Kind::kNever; }
    bool matches(Bytes record) const;
    // The field's comparison form in `record`, and the value's: equal exactly when
    // matches() is true.
    void append_record_key(Bytes record, std::string& key) const;
    void append_search_key(std::string& key) const;

  private:
    enum class Kind { kNever, kBytes, kAlpha, kAlphaFolded, kText };
    void prepare_alpha(const std::string& text, bool case_insensitive);
    void prepare_number(const FieldInput& input, const std::string& text);
    std::string record_text(Bytes field) const;

    const Table& table_;
    const Field& field_;
    Kind kind_ = Kind::kNever;
    bool fold_ = false;
    std::string key_;
};

class LocateRequest {
  public:
    // Throws vaq::Error for an unknown field, a count of values that does not match the
    // fields, or a value that cannot be compared with its field.
    LocateRequest(const Table& table, std::string_view field_names,
                  std::span<const FieldInput> values, LocateOptions options);

    // Fields (letter case ignored) and options; equal for requests one lookup can serve.
    const std::string& shape() const { return shape_; }
    bool cannot_match() const;
    bool matches(Bytes record) const;
    std::string record_key(Bytes record) const;
    std::string search_key() const;

  private:
    std::vector<LocateField> fields_;
    std::string shape_;
};

class LocateLookup {
  public:
    LocateLookup(const LocateRequest& request, std::uint64_t change_count)
        : shape_(request.shape()), change_count_(change_count) {}

    bool serves(const LocateRequest& request, std::uint64_t change_count) const {
        return request.shape() == shape_ && change_count == change_count_;
    }
    bool built() const { return built_; }
    // Walks every record of `cursor` in its order, then puts the cursor back.
    void build(Cursor& cursor, const LocateRequest& request);
    std::optional<Bookmark> find(const LocateRequest& request) const;

  private:
    std::string shape_;
    std::uint64_t change_count_;
    bool built_ = false;
    std::unordered_map<std::string, Bookmark> first_of_;
};

}  // namespace pdx
