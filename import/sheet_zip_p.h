#pragma once
// The zip container of XLSX and ODS files, through libzip: entries read
// whole, or a new archive written entry by entry. Private to sheet_*.cpp.

#include "import/sheet.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct zip;

namespace trp::sheet {

class ZipReader {
 public:
  // Throws std::runtime_error naming the file when it is no zip archive.
  explicit ZipReader(const QString& path);
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;
  // The entry's bytes; nullopt when absent. Throws on a damaged entry.
  std::optional<QByteArray> Read(const QString& entry) const;
  // The entry, or a refusal naming the file and the entry.
  QByteArray Need(const QString& entry) const;

 private:
  QString path_;
  zip* zip_ = nullptr;
};

// Writes a new archive at `path` with the entries in order; `stored` entries
// are kept uncompressed (ODS's mimetype must be). Throws naming the file.
struct ZipEntry {
  QString name;
  QByteArray data;
  bool stored = false;
};
void WriteZip(const QString& path, const std::vector<ZipEntry>& entries);

// Replaces entries of an existing archive (other entries kept as they are).
void ReplaceZipEntries(const QString& path, const std::vector<ZipEntry>& entries);

// The cells read from an XLSX or ODS sheet (row -> column -> cell), moved
// into `sheet` as rows in file order, each as wide as its last cell.
void AppendCellRows(Sheet& sheet, std::map<int, std::map<int, Cell>>& cells);

}  // namespace trp::sheet
