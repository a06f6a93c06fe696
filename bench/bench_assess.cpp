// The batch assessment of `tabrelpeso-admin assess --in/--out`: 1,000,000
// generated children (every indicator) on reference 02 (WHO 2006/2007) of the
// sample database, against reading and writing the same CSV without
// computing, in the same run. Counters: children_per_s of the assessment
// (CPU time), copy and assess in CPU and wall seconds, ratio = assess/copy
// in CPU time (the target is at most 3) and ratio_wall.

#include "assess/batch.h"
#include "server/app_server.h"
#include "server/assessment.h"
#include "server/storage.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "smoke.h"

#include <time.h>
#include <chrono>
#include <cmath>
#include <random>
#include <stdexcept>

namespace {

const int kChildren = bench::Scaled(1000000, 1000);

// Children from birth to 19 years with a length or height, weight and head
// circumference near the usual (the head only under 5 years).
void Generate(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write the input");
  std::mt19937 rng(27);
  std::uniform_int_distribution<int> days(0, 6900);
  std::normal_distribution<double> noise(1, 0.08);
  std::string out = "id;sexo;idade_dias;peso;medida;estatura;pc\n";
  char line[160];
  for (int i = 0; i < kChildren; ++i) {
    const int d = days(rng);
    const double m = d / 30.4375;
    const double stature =
        (m <= 24 ? 50 + 36 * std::pow(m / 24, 0.6) : 86 + 6.2 * (m - 24) / 12) * noise(rng);
    const double weight = 16 * std::pow(stature / 100, 2) * noise(rng) * (m < 6 ? 0.85 : 1);
    const bool lying = d < 731 ? (i % 10 != 0) : (i % 10 == 0);
    int n;
    if (d <= 1826)
      n = std::snprintf(line, sizeof line, "%d;%c;%d;%.2f;%c;%.1f;%.1f\n", i, i % 2 ? 'F' : 'M', d,
                        weight, lying ? 'D' : 'P', stature,
                        (34 + 16 * std::pow(m / 60, 0.35)) * noise(rng));
    else
      n = std::snprintf(line, sizeof line, "%d;%c;%d;%.2f;%c;%.1f;\n", i, i % 2 ? 'F' : 'M', d,
                        weight, lying ? 'D' : 'P', stature);
    out.append(line, size_t(n));
  }
  f.write(out.data(), qint64(out.size()));
}

// The whole process: the batch works on two threads when the input is large.
double ProcessCpu() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Timing {
  double wall = 0, cpu = 0;
};

Timing Run(const QString& in, const QString& out, const trp::assess::Reference* ref) {
  QFile input(in), output(out);
  if (!input.open(QIODevice::ReadOnly) || !output.open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw std::runtime_error("cannot open the files");
  const auto start = std::chrono::steady_clock::now();
  const double cpu = ProcessCpu();
  const trp::assess::BatchCounts n =
      trp::assess::AssessCsv(input, output, ref, true, [](qint64, const QString&) {});
  output.close();
  if (n.assessed != kChildren) throw std::runtime_error("a generated line was refused");
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
          ProcessCpu() - cpu};
}

void BM_AssessBatch_VsCopy(benchmark::State& state) {
  QTemporaryDir dir;
  const QString db = dir.filePath(QStringLiteral("sample.db"));
  srv::SeedSampleDatabase(db, QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000"));
  trp::assess::Reference ref;
  {
    auto conn = srv::OpenDb(db);
    ref = srv::LoadAssessReference(*conn, "02");
  }
  const QString in = dir.filePath(QStringLiteral("criancas.csv"));
  Generate(in);
  Timing copy, assess;
  for (auto _ : state) {
    copy = Run(in, dir.filePath(QStringLiteral("copia.csv")), nullptr);
    assess = Run(in, dir.filePath(QStringLiteral("avaliadas.csv")), &ref);
  }
  // The machine is shared: the CPU time of the process is the fair measure
  // of the work, the wall time (both cores) is reported beside it.
  state.counters["copy_s"] = copy.wall;
  state.counters["assess_s"] = assess.wall;
  state.counters["copy_cpu_s"] = copy.cpu;
  state.counters["assess_cpu_s"] = assess.cpu;
  state.counters["ratio"] = assess.cpu / copy.cpu;
  state.counters["ratio_wall"] = assess.wall / copy.wall;
  state.counters["children_per_s"] = kChildren / assess.cpu;
}
BENCHMARK(BM_AssessBatch_VsCopy)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
