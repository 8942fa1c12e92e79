// The tool's JSON values: what it prints (records, the demo's report, errors)
// and the one JSON text it reads (a Deed given on the command line).
//
// Objects keep their members in the order they were added; setting a member
// again keeps its place. Printing puts two spaces per level when indented and
// nothing between tokens otherwise, escapes only what JSON requires (controls
// as \u00xx in lower-case hex), and prints bytes that are not UTF-8 as U+FFFD.
#pragma once

#include <concepts>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorent_cli {

class Json {
public:
    enum class Kind : unsigned char { Null, Bool, Unsigned, Integer, Number, String, Array, Object };
    using Member = std::pair<std::string, Json>;

    // A text that is not JSON; what() names the fault and its position.
    struct ParseError : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    Json() = default;
    Json(std::nullptr_t) {}
    Json(bool b) : kind_(Kind::Bool), unsigned_(b ? 1 : 0) {}
    template <std::integral I>
    requires(!std::same_as<I, bool>) Json(I i) {
        if constexpr (std::is_signed_v<I>) {
            kind_ = Kind::Integer;
            integer_ = i;
        } else {
            kind_ = Kind::Unsigned;
            unsigned_ = i;
        }
    }
    Json(std::string s) : kind_(Kind::String), text_(std::move(s)) {}
    Json(std::string_view s) : Json(std::string(s)) {}
    Json(const char* s) : Json(std::string(s)) {}
    // An array of strings.
    Json(const std::vector<std::string>& items);

    static Json object();
    static Json array();

    // The text read, in full; nesting deeper than kMaxDepth is refused.
    static Json parse(std::string_view text);
    static constexpr int kMaxDepth = 512;

    Kind kind() const noexcept { return kind_; }
    bool is_null() const noexcept { return kind_ == Kind::Null; }
    bool is_string() const noexcept { return kind_ == Kind::String; }
    bool is_object() const noexcept { return kind_ == Kind::Object; }
    // An integer written without fraction or exponent, from 0 to 2^64-1.
    bool is_number_unsigned() const noexcept { return kind_ == Kind::Unsigned; }

    // Typed access; std::logic_error for another kind.
    const std::string& string() const;
    std::string& string();
    std::uint64_t unsigned_value() const;

    // The member `key`, added as null when absent; null becomes an empty object.
    Json& operator[](std::string_view key);
    // The member `key`, or nullptr (also when this is no object).
    const Json* find(std::string_view key) const;
    // Appends an element; null becomes an empty array.
    void push_back(Json value);

    // Members of an object and elements of an array (empty for other kinds).
    const std::vector<Member>& members() const noexcept { return members_; }
    std::vector<Member>& members() noexcept { return members_; }
    const std::vector<Json>& elements() const noexcept { return elements_; }
    std::vector<Json>& elements() noexcept { return elements_; }

    // indent < 0: compact; otherwise members and elements one per line.
    std::string dump(int indent = -1) const;

private:
    void dump_to(std::string& out, int indent, int level) const;

    Kind kind_ = Kind::Null;
    std::uint64_t unsigned_ = 0;  // Unsigned; Bool as 0 or 1
    std::int64_t integer_ = 0;    // Integer
    std::string text_;            // String; Number as written
    std::vector<Json> elements_;
    std::vector<Member> members_;

    friend class JsonBuilder;
};

}  // namespace quorent_cli
