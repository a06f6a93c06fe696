#pragma once
// Writing JSON text straight into a byte buffer. Packets, the server's big
// answers and the connection's requests all use these, so every side escapes
// strings and writes numbers the same way.

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>

namespace fw {

// Appends `utf8` as a JSON string literal: quotes, backslashes and control
// characters escaped, everything else copied as it is.
void AppendJsonString(std::string& out, std::string_view utf8);
void AppendJsonString(QByteArray& out, const QString& text);

// Appends the shortest text that reads back as exactly the same double.
// Non-finite values have no JSON form and are written as null.
void AppendJsonNumber(std::string& out, double value);

}  // namespace fw
