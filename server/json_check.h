#pragma once
// Checks a request body that the JSON parser has already accepted for what
// the parser lets through: an object naming one member twice, where the
// parser would silently keep the last value.

#include <QString>

#include <optional>
#include <string_view>

namespace srv {

// The first member name repeated inside one object, anywhere in the text
// (names compared after unescaping); nothing when every object is clean.
// Text that is not valid JSON gives no answer worth trusting: parse first.
std::optional<QString> RepeatedMember(std::string_view json);

}  // namespace srv
