// The packet model: field types and the DataPacket value with its rows.
#include "framework/data/packet.h"

#include "framework/data/errors.h"
#include "framework/data/packet_storage.h"

namespace fw {

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

}  // namespace fw
