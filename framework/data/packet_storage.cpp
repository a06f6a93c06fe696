// Columnar storage behind packets and datasets, and the conversion of cell values.
#include "framework/data/packet_storage.h"

#include "framework/data/errors.h"
#include "framework/data/format.h"

#include <bit>
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

}  // namespace fw
