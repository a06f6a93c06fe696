#include "server/json_check.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace srv {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the string starting at json[i] == '"'; returns its text unescaped
// (UTF-8) and leaves i after the closing quote.
std::string ReadString(std::string_view json, size_t& i) {
  const size_t start = ++i;
  bool escaped = false;
  while (i < json.size() && json[i] != '"') {
    if (json[i] == '\\') {
      escaped = true;
      ++i;
    }
    ++i;
  }
  const std::string_view raw = json.substr(start, std::min(i, json.size()) - start);
  ++i;
  if (!escaped) return std::string(raw);
  // Escapes decoded to UTF-16 code units, so that "\u00e9" and "é" compare equal.
  QString text;
  size_t run = 0;
  auto flush = [&](size_t end) {
    text += QString::fromUtf8(raw.data() + run, qsizetype(end - run));
  };
  for (size_t j = 0; j < raw.size(); ++j) {
    if (raw[j] != '\\') continue;
    flush(j);
    const char e = j + 1 < raw.size() ? raw[j + 1] : '\\';
    size_t used = 2;
    switch (e) {
      case 'b':
        text += u'\b';
        break;
      case 'f':
        text += u'\f';
        break;
      case 'n':
        text += u'\n';
        break;
      case 'r':
        text += u'\r';
        break;
      case 't':
        text += u'\t';
        break;
      case 'u': {
        char16_t unit = 0;
        for (size_t h = 0; h < 4 && j + 2 + h < raw.size(); ++h)
          unit = char16_t(unit * 16 + std::max(0, HexDigit(raw[j + 2 + h])));
        text += QChar(unit);
        used = 6;
        break;
      }
      default:
        text += QLatin1Char(e);
    }
    j += used - 1;
    run = std::min(j + 1, raw.size());
  }
  flush(raw.size());
  return text.toStdString();
}

}  // namespace

std::optional<QString> RepeatedMember(std::string_view json) {
  // One set of names per open object; arrays push nothing but are tracked so
  // that a string inside an array is never taken for a name.
  std::vector<std::unordered_set<std::string>> objects;
  std::vector<bool> inObject;  // per open bracket: object (true) or array
  bool expectName = false;
  for (size_t i = 0; i < json.size();) {
    const char c = json[i];
    switch (c) {
      case '{':
        objects.emplace_back();
        inObject.push_back(true);
        expectName = true;
        ++i;
        break;
      case '[':
        inObject.push_back(false);
        expectName = false;
        ++i;
        break;
      case '}':
        if (!objects.empty()) objects.pop_back();
        [[fallthrough]];
      case ']':
        if (!inObject.empty()) inObject.pop_back();
        expectName = false;
        ++i;
        break;
      case ',':
        expectName = !inObject.empty() && inObject.back();
        ++i;
        break;
      case '"': {
        const bool isName = expectName;
        const std::string text = ReadString(json, i);
        if (isName && !objects.empty() && !objects.back().insert(text).second)
          return QString::fromStdString(text);
        expectName = false;
        break;
      }
      default:
        ++i;
    }
  }
  return std::nullopt;
}

}  // namespace srv
