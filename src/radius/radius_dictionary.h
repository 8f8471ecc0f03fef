// The built-in RADIUS attribute dictionary: names, codes and value types of
// the attributes a reply may carry.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace vantorix {

/// How an attribute's value is read.
enum AttributeType : std::int32_t {
  ATTR_STRING = 0,   // text
  ATTR_INTEGER = 1,  // 32-bit number
  ATTR_IPADDR = 2,   // IPv4 address
  ATTR_DATE = 3,     // date
};

/// One row of the dictionary. `name` points at a constant text that lives as
/// long as the program.
struct AttributeDef {
  const char* name = nullptr;
  std::int32_t code = 0;
  AttributeType type = ATTR_STRING;
};

/// Longest attribute name a row may have.
inline constexpr int kMaxAttributeName = 30;

/// Rows with a name; the table ends with one further row whose name is null.
inline constexpr int kDictionaryRows = 103;

/// The 103 built-in rows in their fixed order, then the row with a null name.
/// Codes are unique. Codes above 255 never match a reply attribute, whose type
/// is one byte.
extern const std::array<AttributeDef, kDictionaryRows + 1> radius_dictionary;

/// A copy of the first row with `code`, or nothing when no row has it.
std::optional<AttributeDef> dictionary_find(std::int32_t code);

}  // namespace vantorix
