// Tables from and to spreadsheets, as `tabrelpeso-admin import-table` and
// `export` and the import wizard run them, on the sample database:
//   Preview: the CDC 2000 age table (reference 01, every percentile, both
//     sexes: 2,169 rows) exported as XLSX, read, mapped, checked for
//     plausibility and matched to the registered percentiles (target < 2 s);
//   Import: the same plus the write into a reference in one transaction,
//     every row audited, the rows of the previous iteration replaced
//     (target < 5 s);
//   ExportSample: every reference of the sample (01 to 05, three tables,
//     percentiles, L, M and S) read and written to XLSX (target < 2 s);
//   ReadXlsx and ReadForExport: the file read alone and the database read
//     alone, the baselines of the same run (ratio = counter `ratio`).
// The smoke run uses percentile 050 alone.

#include "import/sheet.h"
#include "import/table_export.h"
#include "import/table_import.h"
#include "server/admin.h"
#include "server/app_server.h"
#include "server/audit_log.h"
#include "server/master_data.h"
#include "server/schema.h"
#include "server/storage.h"
#include "server/table_import.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "smoke.h"

#include <chrono>
#include <stdexcept>

namespace {

using namespace trp;

struct Fixture {
  QTemporaryDir dir;
  QString db, xlsx;
  Fixture() {
    db = dir.filePath(QStringLiteral("amostra.db"));
    srv::SeedSampleDatabase(db, QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000"));
    xlsx = dir.filePath(QStringLiteral("cdc-idade.xlsx"));
    const srv::ExportedReference r =
        srv::ReadForExport(db, QStringLiteral("01"), {srv::TableId::Age},
                           bench::Smoke() ? QStringLiteral("050") : QString());
    sheet::WriteXlsx(tableexport::Build(r.reference, r.tables, r.percentiles, r.lms), xlsx);
    auto conn = srv::OpenDb(db);
    conn->run("INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES ('11', 'Importada')", {});
  }
};

Fixture& Data() {
  static Fixture f;
  return f;
}

// What the preview does; the rows ready for the server.
srv::TableImport Preview(srv::Db& db, const QString& path) {
  const sheet::Workbook book = sheet::ReadWorkbook(path);
  tableimport::Result r = tableimport::ReadBook(book, {});
  if (!r.errors.empty()) throw std::runtime_error(r.errors.front().text.toStdString());
  tableimport::CheckPlausibility(r);
  std::vector<tableimport::KnownPercentile> known;
  for (const srv::PercentileEntry& p : srv::ListPercentiles(db))
    known.push_back({QString::fromStdString(p.code), QString::fromStdString(p.name), p.value});
  std::vector<tableimport::NewPercentile> created;
  tableimport::Recode(r.rows, tableimport::ResolvePercentiles(r.percentiles, known, created));
  srv::TableImport in;
  in.reference = "11";
  srv::AddGrowthRows(in, r.rows);
  return in;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double gReadXlsx = 0, gReadDb = 0;

void BM_ReadXlsx(benchmark::State& state) {
  Data();  // the sample and the file, made before the clock starts
  for (auto _ : state) {
    const auto t = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(sheet::ReadWorkbook(Data().xlsx));
    gReadXlsx = Seconds(t);
  }
}

void BM_Preview(benchmark::State& state) {
  auto db = srv::OpenDb(Data().db);
  size_t rows = 0;
  double s = 0;
  for (auto _ : state) {
    const auto t = std::chrono::steady_clock::now();
    rows = Preview(*db, Data().xlsx).rows[0].size();
    s = Seconds(t);
  }
  state.counters["linhas"] = double(rows);
  state.counters["segundos"] = s;
  if (gReadXlsx > 0) state.counters["ratio"] = s / gReadXlsx;
}

void BM_Import(benchmark::State& state) {
  auto db = srv::OpenDb(Data().db);
  double s = 0;
  std::int64_t replaced = 0;
  for (auto _ : state) {
    const auto t = std::chrono::steady_clock::now();
    const srv::TableImport in = Preview(*db, Data().xlsx);
    const srv::AuditCall call;
    srv::Transaction tx(*db, true);
    replaced = srv::WriteTableImport(*db, "bench", "import-table", in).replaced;
    tx.commit();
    s = Seconds(t);
  }
  state.counters["substituidas"] = double(replaced);
  state.counters["segundos"] = s;
  if (gReadXlsx > 0) state.counters["ratio"] = s / gReadXlsx;
}

const std::vector<srv::TableId> kAll{srv::TableId::Age, srv::TableId::Height, srv::TableId::Nchs};

void BM_ReadForExport(benchmark::State& state) {
  for (auto _ : state) {
    const auto t = std::chrono::steady_clock::now();
    for (const char* ref : {"01", "02", "03", "04", "05"})
      benchmark::DoNotOptimize(srv::ReadForExport(Data().db, QString::fromLatin1(ref), kAll, {}));
    gReadDb = Seconds(t);
  }
}

void BM_ExportSample(benchmark::State& state) {
  double s = 0;
  for (auto _ : state) {
    const auto t = std::chrono::steady_clock::now();
    for (const char* ref : {"01", "02", "03", "04", "05"}) {
      const srv::ExportedReference r =
          srv::ReadForExport(Data().db, QString::fromLatin1(ref), kAll, {});
      sheet::WriteXlsx(tableexport::Build(r.reference, r.tables, r.percentiles, r.lms),
                       Data().dir.filePath(QStringLiteral("ref%1.xlsx").arg(ref)));
    }
    s = Seconds(t);
  }
  state.counters["segundos"] = s;
  if (gReadDb > 0) state.counters["ratio"] = s / gReadDb;
}

BENCHMARK(BM_ReadXlsx)->Unit(benchmark::kMillisecond)->Apply(bench::MinTimeOrOnce<2>);
BENCHMARK(BM_Preview)->Unit(benchmark::kMillisecond)->Apply(bench::MinTimeOrOnce<2>);
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->Apply(bench::MinTimeOrOnce<2>);
BENCHMARK(BM_ReadForExport)->Unit(benchmark::kMillisecond)->Apply(bench::MinTimeOrOnce<2>);
BENCHMARK(BM_ExportSample)->Unit(benchmark::kMillisecond)->Apply(bench::MinTimeOrOnce<2>);

}  // namespace

BENCHMARK_MAIN();
