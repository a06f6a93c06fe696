#pragma once
// Data packets and delta packets: the values that carry a dataset's rows and
// its pending changes between the application server and a Dataset.
//
// Wire form (JSON):
//   packet: {"fields":[{"name":"CDREFEBIBL","type":"string","size":2},
//                      {"name":"VRALTURA","type":"float"}],
//            "rows":[["01",110.5],...]}
//   delta:  {"fields":[...],"changes":[{"op":"insert","new":[...]},
//            {"op":"update","old":[...],"new":[...]},{"op":"delete","old":[...]}]}
// Floats are written as shortest round-trip numbers, so keys survive exactly;
// an empty value is null.
//
// A DataPacket is an immutable, implicitly shared value: copying it is cheap
// and a Dataset that loads it shares its storage until the first change.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMetaType>
#include <QSharedDataPointer>
#include <QString>
#include <QVariant>

#include <vector>

namespace fw {

enum class FieldType { String, Float, Integer, Boolean };

// "string", "float", "integer", "boolean"; FieldTypeFromName throws fw::Error on
// an unknown name.
QString FieldTypeName(FieldType type);
FieldType FieldTypeFromName(QStringView name);

struct FieldDef {
  QString name;
  FieldType type = FieldType::String;
  int size = 0;  // declared width of a string field; 0 for other types
  friend bool operator==(const FieldDef&, const FieldDef&) = default;
};

class PacketStorage;  // columnar storage, defined in packet.cpp

class DataPacket {
 public:
  DataPacket();  // an empty packet without fields
  explicit DataPacket(QList<FieldDef> fields);
  DataPacket(const DataPacket&);
  DataPacket(DataPacket&&) noexcept;
  DataPacket& operator=(const DataPacket&);
  DataPacket& operator=(DataPacket&&) noexcept;
  ~DataPacket();

  const QList<FieldDef>& fields() const;
  int fieldIndex(QStringView name) const;  // -1 when absent
  qsizetype rowCount() const;

  // A null QVariant for an empty value; QString, double, qint64 or bool otherwise.
  QVariant value(qsizetype row, int column) const;
  bool isNull(qsizetype row, int column) const;

  // Appends a row; values are converted to the column types. Throws fw::Error
  // when the count or a type does not fit.
  void appendRow(const QVariantList& values);

  // Throws fw::Error with a clear message when the text is not a packet.
  static DataPacket fromJson(QByteArrayView json);
  QByteArray toJson() const;

  friend bool operator==(const DataPacket&, const DataPacket&);

  // For the Dataset, which shares the columnar storage.
  const PacketStorage& storage() const;
  PacketStorage& mutableStorage();

 private:
  QSharedDataPointer<PacketStorage> d_;
};

struct Change {
  enum class Op { Insert, Update, Delete };
  Op op = Op::Insert;
  QVariantList oldValues;  // Update and Delete: the row as it was in the base
  QVariantList newValues;  // Insert and Update: the row as posted
  friend bool operator==(const Change&, const Change&) = default;
};

class DeltaPacket {
 public:
  QList<FieldDef> fields;
  QList<Change> changes;

  bool isEmpty() const { return changes.isEmpty(); }
  int fieldIndex(QStringView name) const;  // -1 when absent

  // Throws fw::Error with a clear message when the text is not a delta.
  static DeltaPacket fromJson(QByteArrayView json);
  QByteArray toJson() const;
  friend bool operator==(const DeltaPacket&, const DeltaPacket&) = default;
};

// Shortest text that reads back as exactly the same double ("110.5", "1e-07").
QByteArray FloatToJson(double value);

}  // namespace fw

Q_DECLARE_METATYPE(fw::DataPacket)
Q_DECLARE_METATYPE(fw::DeltaPacket)
