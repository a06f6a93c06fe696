// Writing a data packet as JSON text.
#include "framework/data/json_write.h"
#include "framework/data/packet.h"
#include "framework/data/packet_json_p.h"
#include "framework/data/packet_storage.h"

#include <charconv>

namespace fw {

QByteArray FloatToJson(double value) {
  std::string out;
  AppendJsonNumber(out, value);
  return QByteArray(out.data(), qsizetype(out.size()));
}

namespace packet_json {

void AppendInt(std::string& out, qint64 v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, size_t(r.ptr - buf));
}

void AppendFields(std::string& out, const QList<FieldDef>& fields) {
  out += "\"fields\":[";
  for (qsizetype c = 0; c < fields.size(); ++c) {
    if (c) out.push_back(',');
    out += "{\"name\":";
    const QByteArray name = fields[c].name.toUtf8();
    AppendJsonString(out, std::string_view(name.constData(), size_t(name.size())));
    out += ",\"type\":\"";
    out += FieldTypeName(fields[c].type).toStdString();
    out.push_back('"');
    if (fields[c].type == FieldType::String) {
      out += ",\"size\":";
      AppendInt(out, fields[c].size);
    }
    out.push_back('}');
  }
  out.push_back(']');
}

}  // namespace packet_json

using packet_json::AppendFields;
using packet_json::AppendInt;

QByteArray DataPacket::toJson() const {
  const PacketStorage& st = *d_;
  std::string out;
  out.reserve(size_t(st.rows) * size_t(st.fields.size()) * 10 + 256);
  out.push_back('{');
  AppendFields(out, st.fields);
  out += ",\"rows\":[";
  std::vector<std::string> texts;  // UTF-8 of each dictionary entry, made once
  std::vector<std::vector<std::string>> dicts(st.columns.size());
  for (size_t c = 0; c < st.columns.size(); ++c) {
    const Column& col = *st.columns[c];
    if (col.type != FieldType::String) continue;
    dicts[c].reserve(size_t(col.dict.size()));
    for (int32_t k = 0; k < col.dict.size(); ++k) {
      std::string quoted;
      const QByteArray b = col.dict.text(k).toUtf8();
      AppendJsonString(quoted, std::string_view(b.constData(), size_t(b.size())));
      dicts[c].push_back(std::move(quoted));
    }
  }
  for (qsizetype row = 0; row < st.rows; ++row) {
    if (row) out.push_back(',');
    out.push_back('[');
    for (size_t c = 0; c < st.columns.size(); ++c) {
      if (c) out.push_back(',');
      const Column& col = *st.columns[c];
      if (col.isNull(row)) {
        out += "null";
        continue;
      }
      switch (col.type) {
        case FieldType::String:
          out += dicts[c][size_t(col.s[size_t(row)])];
          break;
        case FieldType::Float:
          AppendJsonNumber(out, col.f[size_t(row)]);
          break;
        case FieldType::Integer:
          AppendInt(out, col.i[size_t(row)]);
          break;
        case FieldType::Boolean:
          out += col.i[size_t(row)] ? "true" : "false";
          break;
      }
    }
    out.push_back(']');
  }
  out += "]}";
  return QByteArray(out.data(), qsizetype(out.size()));
}

}  // namespace fw
