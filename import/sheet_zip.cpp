#include "import/sheet_zip_p.h"

#include <QFileInfo>

#include <zip.h>

#include <stdexcept>

namespace trp::sheet {

namespace {

[[noreturn]] void Fail(const QString& message) { throw std::runtime_error(message.toStdString()); }

QString Name(const QString& path) { return QFileInfo(path).fileName(); }

// Adds `data` as `name`; libzip reads the buffer at close, so it must outlive
// the archive (the caller's entries do).
void Add(zip* z, const QString& path, const ZipEntry& e, bool replace) {
  zip_source_t* src = zip_source_buffer(z, e.data.constData(), zip_uint64_t(e.data.size()), 0);
  if (!src) Fail(QStringLiteral("Não foi possível gravar '%1'.").arg(Name(path)));
  const QByteArray name = e.name.toUtf8();
  const zip_int64_t index =
      zip_file_add(z, name.constData(), src, ZIP_FL_ENC_UTF_8 | (replace ? ZIP_FL_OVERWRITE : 0));
  if (index < 0) {
    zip_source_free(src);
    Fail(QStringLiteral("Não foi possível gravar '%1': %2")
             .arg(Name(path), QString::fromUtf8(zip_strerror(z))));
  }
  if (e.stored) zip_set_file_compression(z, zip_uint64_t(index), ZIP_CM_STORE, 0);
}

void Close(zip* z, const QString& path) {
  if (zip_close(z) != 0) {
    const QString why = QString::fromUtf8(zip_strerror(z));
    zip_discard(z);
    Fail(QStringLiteral("Não foi possível gravar '%1': %2").arg(Name(path), why));
  }
}

}  // namespace

ZipReader::ZipReader(const QString& path) : path_(path) {
  int error = 0;
  zip_ = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
  if (!zip_) {
    if (!QFileInfo::exists(path)) Fail(QStringLiteral("O arquivo '%1' não existe.").arg(path));
    Fail(QStringLiteral("O arquivo '%1' não é uma planilha XLSX ou ODS válida (não é um arquivo "
                        "zip).")
             .arg(Name(path)));
  }
}

ZipReader::~ZipReader() {
  if (zip_) zip_discard(zip_);
}

std::optional<QByteArray> ZipReader::Read(const QString& entry) const {
  const QByteArray name = entry.toUtf8();
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat(zip_, name.constData(), 0, &st) != 0) return std::nullopt;
  zip_file_t* f = zip_fopen(zip_, name.constData(), 0);
  if (!f) Fail(QStringLiteral("'%1' está danificado (%2).").arg(Name(path_), entry));
  QByteArray data;
  data.resize(qsizetype(st.size));
  const zip_int64_t n = zip_fread(f, data.data(), st.size);
  zip_fclose(f);
  if (n != zip_int64_t(st.size))
    Fail(QStringLiteral("'%1' está danificado (%2).").arg(Name(path_), entry));
  return data;
}

QByteArray ZipReader::Need(const QString& entry) const {
  std::optional<QByteArray> data = Read(entry);
  if (!data)
    Fail(QStringLiteral("O arquivo '%1' não é uma planilha válida: falta '%2'.")
             .arg(Name(path_), entry));
  return *data;
}

void WriteZip(const QString& path, const std::vector<ZipEntry>& entries) {
  int error = 0;
  zip* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!z) Fail(QStringLiteral("Não foi possível criar '%1'.").arg(path));
  try {
    for (const ZipEntry& e : entries) Add(z, path, e, false);
  } catch (...) {
    zip_discard(z);
    throw;
  }
  Close(z, path);
}

void ReplaceZipEntries(const QString& path, const std::vector<ZipEntry>& entries) {
  int error = 0;
  zip* z = zip_open(QFile::encodeName(path).constData(), 0, &error);
  if (!z) Fail(QStringLiteral("Não foi possível reabrir '%1'.").arg(path));
  try {
    for (const ZipEntry& e : entries) Add(z, path, e, true);
  } catch (...) {
    zip_discard(z);
    throw;
  }
  Close(z, path);
}

void AppendCellRows(Sheet& sheet, std::map<int, std::map<int, Cell>>& cells) {
  for (auto& [r, columns] : cells) {
    Row out;
    out.line = r;
    for (auto& [c, cell] : columns) {
      if (size_t(c) >= out.cells.size()) out.cells.resize(size_t(c) + 1);
      out.cells[size_t(c)] = std::move(cell);
    }
    sheet.rows.push_back(std::move(out));
  }
}

}  // namespace trp::sheet
