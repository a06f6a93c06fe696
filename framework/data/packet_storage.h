#pragma once
// Columnar storage behind DataPacket and Dataset. Internal to framework/data.
//
// Every column keeps one plain vector of values plus a null bitmap (empty
// while the column has no null). Strings are dictionary coded: each distinct
// text is kept once and rows hold an int32 code, so equality tests in filters
// and locates are integer compares and repeated codes cost four bytes a row.

#include "framework/data/packet.h"

#include <QSharedData>
#include <QSharedDataPointer>
#include <QString>

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fw {

class StringDict {
 public:
  StringDict() = default;
  StringDict(const StringDict& other);
  StringDict& operator=(const StringDict& other);

  // Code of the text, adding it when new.
  int32_t intern(std::string_view utf8);
  int32_t intern(const QString& text);
  // Code of the text, -1 when absent.
  int32_t find(std::string_view utf8) const;
  int32_t find(const QString& text) const;
  const QString& text(int32_t code) const { return texts_[size_t(code)]; }
  int32_t size() const { return int32_t(texts_.size()); }
  size_t bytes() const;

 private:
  std::vector<QString> texts_;
  std::deque<std::string> utf8_;  // deque: elements never move, so the views stay valid
  std::unordered_map<std::string_view, int32_t> index_;
};

struct Column : public QSharedData {
  FieldType type = FieldType::String;
  std::vector<double> f;        // Float
  std::vector<qint64> i;        // Integer and Boolean (0/1)
  std::vector<int32_t> s;       // String: dictionary code, -1 for null
  std::vector<uint64_t> nulls;  // Float/Integer/Boolean; empty while no value is null
  StringDict dict;

  bool isNull(qsizetype row) const {
    if (type == FieldType::String) return s[size_t(row)] < 0;
    return (size_t(row) >> 6) < nulls.size() && (nulls[size_t(row) >> 6] >> (row & 63)) & 1U;
  }
  void setNullBit(qsizetype row, bool null, qsizetype rowCount);
  void reserve(qsizetype rows);
  void resize(qsizetype rows);  // new rows are null
  size_t bytes() const;
};

class PacketStorage : public QSharedData {
 public:
  QList<FieldDef> fields;
  // Each column is shared on its own: the first change to a shared packet
  // copies only the columns it touches. Read through a const reference;
  // non-const access detaches.
  std::vector<QSharedDataPointer<Column>> columns;
  qsizetype rows = 0;

  void setFields(QList<FieldDef> defs);
  int fieldIndex(QStringView name) const;
  QVariant value(qsizetype row, int column) const;
  // Converts to the column's type; throws fw::Error when it does not fit.
  void setValue(qsizetype row, int column, const QVariant& value);
  qsizetype appendEmptyRow();
  // Drops rows from `count` on (used to forget rows that were never kept).
  void truncate(qsizetype count);
  void reserve(qsizetype rows);
  size_t bytes() const;
};

// Converts a value to what a column of the type holds (QString, double, qint64
// or bool; null stays null). Throws fw::Error naming the field when it does not fit.
QVariant ConvertForField(const FieldDef& def, const QVariant& value);

// Whether two cell values are the same: nulls are equal, doubles compare bit
// for bit, texts exactly.
bool SameValue(const QVariant& a, const QVariant& b);

}  // namespace fw
