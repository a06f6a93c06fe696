// The delta packet: a dataset's pending changes, and their JSON form.
#include "framework/data/json_write.h"
#include "framework/data/packet.h"
#include "framework/data/packet_json_p.h"

namespace fw {

namespace {

using packet_json::AppendFields;
using packet_json::AppendInt;
using packet_json::ReadFields;

const QString kDeltaWhat = QStringLiteral("Pacote de alterações");

void AppendVariant(std::string& out, const FieldDef& def, const QVariant& v) {
  if (!v.isValid() || v.isNull()) {
    out += "null";
    return;
  }
  switch (def.type) {
    case FieldType::String: {
      const QByteArray b = v.toString().toUtf8();
      AppendJsonString(out, std::string_view(b.constData(), size_t(b.size())));
      return;
    }
    case FieldType::Float:
      AppendJsonNumber(out, v.toDouble());
      return;
    case FieldType::Integer:
      AppendInt(out, v.toLongLong());
      return;
    case FieldType::Boolean:
      out += v.toBool() ? "true" : "false";
      return;
  }
}

QVariant ReadVariant(JsonReader& r, const FieldDef& def) {
  const char c = r.peek();
  if (c == 'n' && r.consumeNull()) return QVariant();
  switch (def.type) {
    case FieldType::String: {
      if (c != '"') r.fail(QStringLiteral("campo %1: esperado um texto").arg(def.name));
      const std::string_view s = r.readString();
      return QString::fromUtf8(s.data(), qsizetype(s.size()));
    }
    case FieldType::Float:
      if (c != '-' && (c < '0' || c > '9'))
        r.fail(QStringLiteral("campo %1: esperado um número").arg(def.name));
      return r.readDouble();
    case FieldType::Integer:
      if (c != '-' && (c < '0' || c > '9'))
        r.fail(QStringLiteral("campo %1: esperado um número inteiro").arg(def.name));
      return QVariant::fromValue<qint64>(r.readInteger());
    case FieldType::Boolean:
      return r.readBool();
  }
  return QVariant();
}

QVariantList ReadValueList(JsonReader& r, const QList<FieldDef>& fields) {
  QVariantList out;
  const qsizetype at = (r.skipWs(), r.pos());
  r.expect('[');
  if (!r.consume(']')) {
    do {
      if (out.size() >= fields.size())
        r.failAt(at, QStringLiteral("mais de %1 valores na alteração").arg(fields.size()));
      out.append(ReadVariant(r, fields[out.size()]));
    } while (r.nextItem(']'));
  }
  if (out.size() != fields.size())
    r.failAt(
        at,
        QStringLiteral("%1 valores na alteração; esperados %2").arg(out.size()).arg(fields.size()));
  return out;
}

QList<Change> ReadChanges(JsonReader& r, const QList<FieldDef>& fields) {
  QList<Change> out;
  r.expect('[');
  if (r.consume(']')) return out;
  do {
    const qsizetype at = (r.skipWs(), r.pos());
    r.expect('{');
    Change ch;
    bool haveOp = false, haveOld = false, haveNew = false;
    if (!r.consume('}')) {
      do {
        const std::string key(r.readString());
        r.expect(':');
        if (key == "op") {
          const qsizetype opos = (r.skipWs(), r.pos());
          const std::string op(r.readString());
          if (op == "insert")
            ch.op = Change::Op::Insert;
          else if (op == "update")
            ch.op = Change::Op::Update;
          else if (op == "delete")
            ch.op = Change::Op::Delete;
          else
            r.failAt(opos,
                     QStringLiteral("operação desconhecida '%1'").arg(QString::fromStdString(op)));
          haveOp = true;
        } else if (key == "old") {
          ch.oldValues = ReadValueList(r, fields);
          haveOld = true;
        } else if (key == "new") {
          ch.newValues = ReadValueList(r, fields);
          haveNew = true;
        } else {
          r.skipValue();
        }
      } while (r.nextItem('}'));
    }
    if (!haveOp) r.failAt(at, QStringLiteral("alteração sem \"op\""));
    if (ch.op != Change::Op::Insert && !haveOld)
      r.failAt(at, QStringLiteral("alteração sem os valores antigos (\"old\")"));
    if (ch.op != Change::Op::Delete && !haveNew)
      r.failAt(at, QStringLiteral("alteração sem os valores novos (\"new\")"));
    if (ch.op == Change::Op::Insert) ch.oldValues.clear();
    if (ch.op == Change::Op::Delete) ch.newValues.clear();
    out.append(ch);
  } while (r.nextItem(']'));
  return out;
}

}  // namespace

int DeltaPacket::fieldIndex(QStringView name) const {
  for (qsizetype c = 0; c < fields.size(); ++c)
    if (QStringView(fields[c].name).compare(name, Qt::CaseInsensitive) == 0) return int(c);
  return -1;
}

DeltaPacket DeltaPacket::fromJson(QByteArrayView json) {
  JsonReader r(json, kDeltaWhat);
  DeltaPacket d;
  bool haveFields = false;
  qsizetype changesAt = -1;
  r.expect('{');
  if (!r.consume('}')) {
    do {
      const qsizetype keyAt = (r.skipWs(), r.pos());
      const std::string key(r.readString());
      r.expect(':');
      if (key == "fields") {
        if (haveFields) r.failAt(keyAt, QStringLiteral("\"fields\" repetido"));
        d.fields = ReadFields(r);
        haveFields = true;
      } else if (key == "changes") {
        if (changesAt >= 0) r.failAt(keyAt, QStringLiteral("\"changes\" repetido"));
        changesAt = (r.skipWs(), r.pos());
        r.skipValue();  // read below, once the fields are known
      } else {
        r.skipValue();
      }
    } while (r.nextItem('}'));
  }
  r.expectEnd();
  if (!haveFields) r.failAt(0, QStringLiteral("falta a lista de campos \"fields\""));
  if (changesAt < 0) r.failAt(0, QStringLiteral("falta a lista de alterações \"changes\""));
  r.seek(changesAt);
  d.changes = ReadChanges(r, d.fields);
  return d;
}

QByteArray DeltaPacket::toJson() const {
  std::string out = "{";
  AppendFields(out, fields);
  out += ",\"changes\":[";
  for (qsizetype k = 0; k < changes.size(); ++k) {
    const Change& ch = changes[k];
    if (k) out.push_back(',');
    out += "{\"op\":\"";
    out += ch.op == Change::Op::Insert   ? "insert"
           : ch.op == Change::Op::Update ? "update"
                                         : "delete";
    out.push_back('"');
    auto list = [&](const char* name, const QVariantList& values) {
      out += ",\"";
      out += name;
      out += "\":[";
      for (qsizetype c = 0; c < fields.size(); ++c) {
        if (c) out.push_back(',');
        AppendVariant(out, fields[c], c < values.size() ? values[c] : QVariant());
      }
      out.push_back(']');
    };
    if (ch.op != Change::Op::Insert) list("old", ch.oldValues);
    if (ch.op != Change::Op::Delete) list("new", ch.newValues);
    out.push_back('}');
  }
  out += "]}";
  return QByteArray(out.data(), qsizetype(out.size()));
}

}  // namespace fw
