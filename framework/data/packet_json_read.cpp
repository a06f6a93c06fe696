// Reading a data packet from its JSON text straight into the columnar storage.
#include "framework/data/errors.h"
#include "framework/data/packet.h"
#include "framework/data/packet_json_p.h"
#include "framework/data/packet_storage.h"

namespace fw {

namespace packet_json {

QList<FieldDef> ReadFields(JsonReader& r) {
  QList<FieldDef> defs;
  r.expect('[');
  if (r.consume(']')) return defs;
  do {
    const qsizetype at = (r.skipWs(), r.pos());
    r.expect('{');
    FieldDef def;
    bool haveName = false, haveType = false;
    if (!r.consume('}')) {
      do {
        const std::string key(r.readString());
        r.expect(':');
        if (key == "name") {
          const std::string_view s = r.readString();
          def.name = QString::fromUtf8(s.data(), qsizetype(s.size()));
          haveName = true;
        } else if (key == "type") {
          const qsizetype tpos = (r.skipWs(), r.pos());
          const std::string_view s = r.readString();
          try {
            def.type = FieldTypeFromName(QString::fromUtf8(s.data(), qsizetype(s.size())));
          } catch (const Error& e) {
            r.failAt(tpos, e.message().chopped(1));
          }
          haveType = true;
        } else if (key == "size") {
          const qint64 n = r.readInteger();
          if (n < 0 || n > 1 << 20) r.fail(QStringLiteral("tamanho de campo inválido"));
          def.size = int(n);
        } else {
          r.skipValue();
        }
      } while (r.nextItem('}'));
    }
    if (!haveName || def.name.isEmpty()) r.failAt(at, QStringLiteral("campo sem \"name\""));
    if (!haveType) r.failAt(at, QStringLiteral("o campo %1 não tem \"type\"").arg(def.name));
    if (def.type != FieldType::String) def.size = 0;
    for (const FieldDef& d : defs)
      if (d.name.compare(def.name, Qt::CaseInsensitive) == 0)
        r.failAt(at, QStringLiteral("o campo %1 aparece duas vezes").arg(def.name));
    defs.append(def);
  } while (r.nextItem(']'));
  return defs;
}

}  // namespace packet_json

namespace {

using packet_json::ReadFields;

const QString kPacketWhat = QStringLiteral("Pacote de dados");

// Reads one value of a column straight into the storage.
inline void ReadCell(JsonReader& r, Column& col, qsizetype row, const FieldDef& def,
                     qsizetype rowNo) {
  const char c = r.peek();
  if (c == 'n' && r.consumeNull()) {
    switch (col.type) {
      case FieldType::String:
        col.s.push_back(-1);
        return;
      case FieldType::Float:
        col.f.push_back(0.0);
        break;
      default:
        col.i.push_back(0);
    }
    col.setNullBit(row, true, row + 1);
    return;
  }
  switch (col.type) {
    case FieldType::String:
      if (c != '"')
        r.fail(
            QStringLiteral("linha %1, campo %2: esperado um texto").arg(rowNo + 1).arg(def.name));
      col.s.push_back(col.dict.intern(r.readString()));
      return;
    case FieldType::Float:
      if (c != '-' && (c < '0' || c > '9'))
        r.fail(
            QStringLiteral("linha %1, campo %2: esperado um número").arg(rowNo + 1).arg(def.name));
      col.f.push_back(r.readDouble());
      return;
    case FieldType::Integer:
      if (c != '-' && (c < '0' || c > '9'))
        r.fail(QStringLiteral("linha %1, campo %2: esperado um número inteiro")
                   .arg(rowNo + 1)
                   .arg(def.name));
      col.i.push_back(r.readInteger());
      return;
    case FieldType::Boolean:
      if (c != 't' && c != 'f')
        r.fail(QStringLiteral("linha %1, campo %2: esperado true ou false")
                   .arg(rowNo + 1)
                   .arg(def.name));
      col.i.push_back(r.readBool() ? 1 : 0);
      return;
  }
}

void ReadRows(JsonReader& r, PacketStorage& st) {
  const qsizetype n = st.fields.size();
  std::vector<Column*> cols;
  for (auto& c : st.columns) cols.push_back(c.data());
  r.expect('[');
  if (r.consume(']')) return;
  qsizetype row = 0;
  do {
    const qsizetype at = (r.skipWs(), r.pos());
    r.expect('[');
    qsizetype c = 0;
    if (!r.consume(']')) {
      do {
        if (c >= n)
          r.failAt(at, QStringLiteral("a linha %1 tem mais de %2 valores").arg(row + 1).arg(n));
        ReadCell(r, *cols[size_t(c)], row, st.fields[c], row);
        ++c;
      } while (r.nextItem(']'));
    }
    if (c != n)
      r.failAt(
          at, QStringLiteral("a linha %1 tem %2 valores; esperados %3").arg(row + 1).arg(c).arg(n));
    ++row;
    st.rows = row;
  } while (r.nextItem(']'));
}

}  // namespace

DataPacket DataPacket::fromJson(QByteArrayView json) {
  JsonReader r(json, kPacketWhat);
  DataPacket p;
  PacketStorage& st = *p.d_;
  bool haveFields = false;
  qsizetype rowsAt = -1;
  r.expect('{');
  if (!r.consume('}')) {
    do {
      const qsizetype keyAt = (r.skipWs(), r.pos());
      const std::string key(r.readString());
      r.expect(':');
      if (key == "fields") {
        if (haveFields) r.failAt(keyAt, QStringLiteral("\"fields\" repetido"));
        st.setFields(ReadFields(r));
        haveFields = true;
      } else if (key == "rows") {
        if (rowsAt >= 0) r.failAt(keyAt, QStringLiteral("\"rows\" repetido"));
        rowsAt = (r.skipWs(), r.pos());
        if (haveFields)
          ReadRows(r, st);
        else
          r.skipValue();  // read once the fields are known
      } else {
        r.skipValue();
      }
    } while (r.nextItem('}'));
  }
  r.expectEnd();
  if (!haveFields) r.failAt(0, QStringLiteral("falta a lista de campos \"fields\""));
  if (rowsAt < 0) r.failAt(0, QStringLiteral("falta a lista de linhas \"rows\""));
  if (st.rows == 0) {
    r.seek(rowsAt);
    ReadRows(r, st);
  }
  return p;
}

}  // namespace fw
