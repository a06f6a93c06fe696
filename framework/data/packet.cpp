#include "framework/data/packet.h"

#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "framework/data/json_reader.h"
#include "framework/data/packet_storage.h"

#include <bit>
#include <charconv>
#include <cmath>

namespace fw {

// --- StringDict ---------------------------------------------------------------

StringDict::StringDict(const StringDict& other) : texts_(other.texts_), utf8_(other.utf8_) {
  index_.reserve(utf8_.size());
  for (size_t k = 0; k < utf8_.size(); ++k) index_.emplace(std::string_view(utf8_[k]), int32_t(k));
}

StringDict& StringDict::operator=(const StringDict& other) {
  if (this != &other) {
    StringDict copy(other);
    texts_ = std::move(copy.texts_);
    utf8_.clear();
    index_.clear();
    for (auto& s : copy.utf8_) utf8_.push_back(std::move(s));
    for (size_t k = 0; k < utf8_.size(); ++k)
      index_.emplace(std::string_view(utf8_[k]), int32_t(k));
  }
  return *this;
}

int32_t StringDict::intern(std::string_view utf8) {
  const auto it = index_.find(utf8);
  if (it != index_.end()) return it->second;
  const auto code = int32_t(texts_.size());
  utf8_.emplace_back(utf8);
  texts_.push_back(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
  index_.emplace(std::string_view(utf8_.back()), code);
  return code;
}

int32_t StringDict::intern(const QString& text) {
  const QByteArray b = text.toUtf8();
  return intern(std::string_view(b.constData(), size_t(b.size())));
}

int32_t StringDict::find(std::string_view utf8) const {
  const auto it = index_.find(utf8);
  return it == index_.end() ? -1 : it->second;
}

int32_t StringDict::find(const QString& text) const {
  const QByteArray b = text.toUtf8();
  return find(std::string_view(b.constData(), size_t(b.size())));
}

size_t StringDict::bytes() const {
  size_t n = texts_.capacity() * sizeof(QString) + index_.bucket_count() * sizeof(void*) +
             index_.size() * (sizeof(std::string_view) + sizeof(int32_t) + 2 * sizeof(void*));
  for (const auto& s : utf8_) n += sizeof(std::string) + (s.size() > 15 ? s.capacity() : 0);
  for (const auto& t : texts_) n += size_t(t.capacity()) * 2 + 24;
  return n;
}

// --- Column ---------------------------------------------------------------------

void Column::setNullBit(qsizetype row, bool null, qsizetype rowCount) {
  if (type == FieldType::String) return;
  if (nulls.empty()) {
    if (!null) return;
    nulls.assign(size_t((rowCount + 63) / 64), 0);
  }
  const size_t need = size_t(row / 64) + 1;
  if (nulls.size() < need) nulls.resize(need, 0);
  const uint64_t bit = uint64_t(1) << (row & 63);
  if (null)
    nulls[size_t(row / 64)] |= bit;
  else
    nulls[size_t(row / 64)] &= ~bit;
}

void Column::reserve(qsizetype rows) {
  switch (type) {
    case FieldType::String:
      s.reserve(size_t(rows));
      break;
    case FieldType::Float:
      f.reserve(size_t(rows));
      break;
    default:
      i.reserve(size_t(rows));
  }
}

void Column::resize(qsizetype rows) {
  const qsizetype old = type == FieldType::String  ? qsizetype(s.size())
                        : type == FieldType::Float ? qsizetype(f.size())
                                                   : qsizetype(i.size());
  switch (type) {
    case FieldType::String:
      s.resize(size_t(rows), -1);
      break;
    case FieldType::Float:
      f.resize(size_t(rows), 0.0);
      break;
    default:
      i.resize(size_t(rows), 0);
  }
  if (type != FieldType::String) {
    if (rows > old) {
      for (qsizetype r = old; r < rows; ++r) setNullBit(r, true, rows);
    } else if (!nulls.empty()) {
      nulls.resize(size_t((rows + 63) / 64));
    }
  }
}

size_t Column::bytes() const {
  return f.capacity() * sizeof(double) + i.capacity() * sizeof(qint64) +
         s.capacity() * sizeof(int32_t) + nulls.capacity() * sizeof(uint64_t) +
         (type == FieldType::String ? dict.bytes() : 0) + sizeof(Column);
}

// --- PacketStorage ----------------------------------------------------------------

void PacketStorage::setFields(QList<FieldDef> defs) {
  for (qsizetype a = 0; a < defs.size(); ++a) {
    if (defs[a].name.isEmpty())
      throw Error(QStringLiteral("Campo sem nome na definição do pacote."));
    for (qsizetype b = 0; b < a; ++b)
      if (defs[b].name.compare(defs[a].name, Qt::CaseInsensitive) == 0)
        throw Error(QStringLiteral("O campo %1 aparece duas vezes na definição do pacote.")
                        .arg(defs[a].name));
  }
  columns.clear();
  columns.reserve(size_t(defs.size()));
  for (qsizetype c = 0; c < defs.size(); ++c) {
    auto* col = new Column;
    col->type = defs[c].type;
    columns.emplace_back(col);
  }
  fields = std::move(defs);
  rows = 0;
}

int PacketStorage::fieldIndex(QStringView name) const {
  for (qsizetype c = 0; c < fields.size(); ++c)
    if (QStringView(fields[c].name).compare(name, Qt::CaseInsensitive) == 0) return int(c);
  return -1;
}

QVariant PacketStorage::value(qsizetype row, int column) const {
  const Column& col = *columns[size_t(column)];
  if (col.isNull(row)) return QVariant();
  switch (col.type) {
    case FieldType::String:
      return col.dict.text(col.s[size_t(row)]);
    case FieldType::Float:
      return col.f[size_t(row)];
    case FieldType::Integer:
      return QVariant::fromValue<qint64>(col.i[size_t(row)]);
    case FieldType::Boolean:
      return col.i[size_t(row)] != 0;
  }
  return QVariant();
}

void PacketStorage::setValue(qsizetype row, int column, const QVariant& value) {
  Column& col = *columns[size_t(column)];  // detaches this column only
  const QVariant v = ConvertForField(fields[column], value);
  const bool null = v.isNull();
  switch (col.type) {
    case FieldType::String:
      col.s[size_t(row)] = null ? -1 : col.dict.intern(v.toString());
      return;
    case FieldType::Float:
      col.f[size_t(row)] = null ? 0.0 : v.toDouble();
      break;
    case FieldType::Integer:
      col.i[size_t(row)] = null ? 0 : v.toLongLong();
      break;
    case FieldType::Boolean:
      col.i[size_t(row)] = null ? 0 : (v.toBool() ? 1 : 0);
      break;
  }
  col.setNullBit(row, null, rows);
}

qsizetype PacketStorage::appendEmptyRow() {
  ++rows;
  for (auto& c : columns) c->resize(rows);
  return rows - 1;
}

void PacketStorage::truncate(qsizetype count) {
  if (count >= rows) return;
  rows = count;
  for (auto& c : columns) c->resize(rows);
}

void PacketStorage::reserve(qsizetype n) {
  for (auto& c : columns) c->reserve(n);
}

size_t PacketStorage::bytes() const {
  size_t n = sizeof(PacketStorage);
  for (const auto& c : columns) n += c->bytes();
  return n;
}

// --- conversions -----------------------------------------------------------------

QString FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::String:
      return QStringLiteral("string");
    case FieldType::Float:
      return QStringLiteral("float");
    case FieldType::Integer:
      return QStringLiteral("integer");
    case FieldType::Boolean:
      return QStringLiteral("boolean");
  }
  return QString();
}

FieldType FieldTypeFromName(QStringView name) {
  if (name == u"string") return FieldType::String;
  if (name == u"float") return FieldType::Float;
  if (name == u"integer") return FieldType::Integer;
  if (name == u"boolean") return FieldType::Boolean;
  throw Error(QStringLiteral("Tipo de campo desconhecido: '%1'.").arg(name));
}

namespace {

bool IsNumberType(int id) {
  switch (id) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
      return true;
    default:
      return false;
  }
}

bool IsTextType(int id) {
  return id == QMetaType::QString || id == QMetaType::QByteArray || id == QMetaType::QChar;
}

[[noreturn]] void NotNumeric(const QString& text) {
  throw Error(QStringLiteral("'%1' não é um valor numérico válido.").arg(text));
}

}  // namespace

QVariant ConvertForField(const FieldDef& def, const QVariant& value) {
  if (!value.isValid() || value.isNull()) return QVariant();
  const int id = value.metaType().id();
  switch (def.type) {
    case FieldType::String:
      if (id == QMetaType::Double) return FloatToStr(value.toDouble());
      if (!value.canConvert<QString>())
        throw Error(QStringLiteral("Valor inválido para o campo %1.").arg(def.name));
      return value.toString();
    case FieldType::Float: {
      double d;
      if (IsNumberType(id)) {
        d = value.toDouble();
      } else if (id == QMetaType::Bool) {
        d = value.toBool() ? 1 : 0;
      } else if (IsTextType(id)) {
        bool ok = false;
        const auto parsed = ParseFloat(value.toString(), &ok);
        if (!ok) NotNumeric(value.toString());
        if (!parsed) return QVariant();
        d = *parsed;
      } else {
        throw Error(QStringLiteral("Valor inválido para o campo %1.").arg(def.name));
      }
      if (!std::isfinite(d)) NotNumeric(FloatToStr(d));
      return d;
    }
    case FieldType::Integer: {
      if (id == QMetaType::Double || id == QMetaType::Float) {
        const double d = value.toDouble();
        if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > 9.2e18)
          throw Error(QStringLiteral("'%1' não é um número inteiro válido.").arg(FloatToStr(d)));
        return QVariant::fromValue<qint64>(qint64(d));
      }
      if (IsNumberType(id)) return QVariant::fromValue<qint64>(value.toLongLong());
      if (id == QMetaType::Bool) return QVariant::fromValue<qint64>(value.toBool() ? 1 : 0);
      if (IsTextType(id)) {
        const QString t = value.toString().trimmed();
        if (t.isEmpty()) return QVariant();
        bool ok = false;
        const qint64 n = t.toLongLong(&ok);
        if (!ok)
          throw Error(QStringLiteral("'%1' não é um número inteiro válido.").arg(value.toString()));
        return QVariant::fromValue<qint64>(n);
      }
      throw Error(QStringLiteral("Valor inválido para o campo %1.").arg(def.name));
    }
    case FieldType::Boolean: {
      if (id == QMetaType::Bool) return value.toBool();
      if (IsNumberType(id)) return value.toDouble() != 0;
      if (IsTextType(id)) {
        const QString t = value.toString().trimmed().toLower();
        if (t.isEmpty()) return QVariant();
        if (t == u"true" || t == u"1" || t == u"sim" || t == u"s" || t == u"verdadeiro")
          return true;
        if (t == u"false" || t == u"0" || t == u"não" || t == u"nao" || t == u"n" || t == u"falso")
          return false;
        throw Error(QStringLiteral("'%1' não é um valor lógico válido.").arg(value.toString()));
      }
      throw Error(QStringLiteral("Valor inválido para o campo %1.").arg(def.name));
    }
  }
  return QVariant();
}

bool SameValue(const QVariant& a, const QVariant& b) {
  const bool an = !a.isValid() || a.isNull();
  const bool bn = !b.isValid() || b.isNull();
  if (an || bn) return an == bn;
  const int ia = a.metaType().id();
  const int ib = b.metaType().id();
  if (ia == QMetaType::QString || ib == QMetaType::QString) {
    if (ia != ib) return false;
    return a.toString() == b.toString();
  }
  if (ia == QMetaType::Bool || ib == QMetaType::Bool) return ia == ib && a.toBool() == b.toBool();
  if ((ia == QMetaType::LongLong && ib == QMetaType::LongLong))
    return a.toLongLong() == b.toLongLong();
  if (ia == QMetaType::Double && ib == QMetaType::Double)  // -0.0 is kept apart from 0.0
    return std::bit_cast<uint64_t>(a.toDouble()) == std::bit_cast<uint64_t>(b.toDouble());
  return a.toDouble() == b.toDouble();
}

// --- JSON -----------------------------------------------------------------------

QByteArray FloatToJson(double value) {
  if (!std::isfinite(value)) return QByteArrayLiteral("null");
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return QByteArray(buf, r.ptr - buf);
}

namespace {

const QString kPacketWhat = QStringLiteral("Pacote de dados");
const QString kDeltaWhat = QStringLiteral("Pacote de alterações");

void AppendDouble(std::string& out, double v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, size_t(r.ptr - buf));
}

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
      AppendDouble(out, v.toDouble());
      return;
    case FieldType::Integer:
      AppendInt(out, v.toLongLong());
      return;
    case FieldType::Boolean:
      out += v.toBool() ? "true" : "false";
      return;
  }
}

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

// --- DataPacket -------------------------------------------------------------------

DataPacket::DataPacket() : d_(new PacketStorage) {}
DataPacket::DataPacket(QList<FieldDef> fields) : d_(new PacketStorage) {
  d_->setFields(std::move(fields));
}
DataPacket::DataPacket(const DataPacket&) = default;
DataPacket::DataPacket(DataPacket&&) noexcept = default;
DataPacket& DataPacket::operator=(const DataPacket&) = default;
DataPacket& DataPacket::operator=(DataPacket&&) noexcept = default;
DataPacket::~DataPacket() = default;

const QList<FieldDef>& DataPacket::fields() const { return d_->fields; }
int DataPacket::fieldIndex(QStringView name) const { return d_->fieldIndex(name); }
qsizetype DataPacket::rowCount() const { return d_->rows; }

static void CheckCell(const PacketStorage& st, qsizetype row, int column) {
  if (row < 0 || row >= st.rows || column < 0 || column >= st.fields.size())
    throw Error(QStringLiteral("Posição fora do pacote de dados (linha %1, coluna %2).")
                    .arg(row)
                    .arg(column));
}

QVariant DataPacket::value(qsizetype row, int column) const {
  CheckCell(*d_, row, column);
  return d_->value(row, column);
}

bool DataPacket::isNull(qsizetype row, int column) const {
  CheckCell(*d_, row, column);
  return d_->columns[size_t(column)]->isNull(row);
}

void DataPacket::appendRow(const QVariantList& values) {
  const QList<FieldDef>& defs = d_->fields;
  if (values.size() != defs.size())
    throw Error(QStringLiteral("A linha tem %1 valores; o pacote tem %2 campos.")
                    .arg(values.size())
                    .arg(defs.size()));
  QVariantList converted;
  converted.reserve(values.size());
  for (qsizetype c = 0; c < values.size(); ++c) {
    try {
      converted.append(ConvertForField(defs[c], values[c]));
    } catch (const Error& e) {
      throw Error(QStringLiteral("Campo %1: %2").arg(defs[c].name, e.message()));
    }
  }
  PacketStorage& st = *d_;
  const qsizetype row = st.appendEmptyRow();
  for (qsizetype c = 0; c < converted.size(); ++c) st.setValue(row, int(c), converted[c]);
}

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
          AppendDouble(out, col.f[size_t(row)]);
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

bool operator==(const DataPacket& a, const DataPacket& b) {
  if (a.d_ == b.d_) return true;
  const PacketStorage& x = *a.d_;
  const PacketStorage& y = *b.d_;
  if (x.fields != y.fields || x.rows != y.rows) return false;
  for (size_t c = 0; c < x.columns.size(); ++c) {
    const Column& p = *x.columns[c];
    const Column& q = *y.columns[c];
    if (&p == &q) continue;  // still shared
    for (qsizetype r = 0; r < x.rows; ++r) {
      const bool pn = p.isNull(r), qn = q.isNull(r);
      if (pn != qn) return false;
      if (pn) continue;
      switch (p.type) {
        case FieldType::String:
          if (p.dict.text(p.s[size_t(r)]) != q.dict.text(q.s[size_t(r)])) return false;
          break;
        case FieldType::Float:
          if (p.f[size_t(r)] != q.f[size_t(r)]) return false;
          break;
        default:
          if (p.i[size_t(r)] != q.i[size_t(r)]) return false;
      }
    }
  }
  return true;
}

const PacketStorage& DataPacket::storage() const { return *d_; }
PacketStorage& DataPacket::mutableStorage() { return *d_; }

// --- DeltaPacket ------------------------------------------------------------------

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
