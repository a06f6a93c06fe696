// The QEL536 report of every reference and percentile written to PDF, on the
// sample and on 100 generated references, against the same queries read to
// the end without layout (the floor any report of these rows must pay).
// Counters: pages, pages_per_s, report_ms, query_ms and ratio = report/query;
// per_page = pages_per_s here / pages_per_s of the sample in the same run
// (target >= 0.8), the same from process CPU time (cpu_per_page, steadier on
// a loaded machine), and peak_rss_mb, the peak resident memory while this
// size ran.

#include "bench/generated_db.h"
#include "framework/sql/localdb.h"
#include "report/report_definition.h"
#include "report/report_engine.h"
#include "report/report_query.h"
#include "report/report_render.h"
#include "server/app_server.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "smoke.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <string>

namespace {

QTemporaryDir* gDir = nullptr;

QString Database(int references) {
  const QString path = gDir->filePath(QStringLiteral("r%1.db").arg(references));
  if (!QFile::exists(path)) {
    if (references == 1) srv::SeedSampleDatabase(path, QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000"));
    else bench::GenerateAgeTables(path, references);
  }
  return path;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Linux keeps the peak resident size (VmHWM); writing 5 to clear_refs
// restarts it from the current size.
void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

double PeakRssMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  return 0;
}

// The sample's pages per second (wall, CPU), for the larger size's ratio.
double gSampleRate = 0, gSampleCpuRate = 0;

void BM_ReportToPdf_VsQueryAlone(benchmark::State& state) {
  const report::ReportDefinition def = report::LoadDefinition(
      report::DefinitionPath(QStringLiteral(TRP_SOURCE_DIR "/reports"), QStringLiteral("QEL536")));
  report::RenderRequest request;
  request.definition = &def;
  request.database = fw::OpenLocalDatabase(Database(int(state.range(0))), QStringLiteral("bench"));
  request.params = fw::TQueryParams({QStringLiteral("P_CDREFERENCIA"), QStringLiteral("P_CDPERCENTIL")});
  request.params.ParamByName(QStringLiteral("P_CDREFERENCIA")).SetAsString(QStringLiteral("T"));
  request.params.ParamByName(QStringLiteral("P_CDPERCENTIL")).SetAsString(QStringLiteral("T"));
  request.title = def.title;
  const QString out = gDir->filePath(QStringLiteral("bench.pdf"));
  double report = 0, query = 0, cpu = 0;
  int pages = 0;
  ResetPeakRss();
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    pages = report::WritePdf(request, out);
    cpu += CpuSeconds() - cpuStart;
    const double r = Seconds(start);
    start = std::chrono::steady_clock::now();
    qsizetype rows = 0;
    {
      report::BlockReader reader(def, request.database, request.params);
      report::Block block;
      while (reader.Next(block)) rows += block.rows.size();
    }
    benchmark::DoNotOptimize(rows);
    const double q = Seconds(start);
    report += r;
    query += q;
    state.SetIterationTime(r);
  }
  const double n = double(state.iterations());
  state.counters["pages"] = pages;
  state.counters["pages_per_s"] = report > 0 ? pages * n / report : 0;
  state.counters["report_ms"] = report * 1000 / n;
  state.counters["query_ms"] = query * 1000 / n;
  state.counters["ratio"] = query > 0 ? report / query : 0;
  state.counters["peak_rss_mb"] = PeakRssMb();
  const double rate = report > 0 ? pages * n / report : 0;
  const double cpuRate = cpu > 0 ? pages * n / cpu : 0;
  if (state.range(0) == 1) {
    gSampleRate = rate;
    gSampleCpuRate = cpuRate;
  } else if (gSampleRate > 0 && gSampleCpuRate > 0) {
    state.counters["per_page"] = rate / gSampleRate;
    state.counters["cpu_per_page"] = cpuRate / gSampleCpuRate;
  }
  request.database = QSqlDatabase();
  fw::CloseLocalDatabase(QStringLiteral("bench"));
}
BENCHMARK(BM_ReportToPdf_VsQueryAlone)
    ->Arg(1)
    ->Arg(bench::Scaled(100, 2))
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  QTemporaryDir dir;
  gDir = &dir;
  benchmark::RunSpecifiedBenchmarks();
  gDir = nullptr;
  benchmark::Shutdown();
  return 0;
}
