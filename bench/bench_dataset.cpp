// The dataset engine on a full age table: 100 references x 10 percentiles x
// 241 ages (0 to 20 years by month) = 241,000 rows of 22 columns, generated
// here. Measures the load of the packet (parse + SetData), a two-term filter
// switch, a two-key locate and the delta after one edit, with the baselines
// the targets are stated against: QJsonDocument::fromJson on the same bytes
// and a QSortFilterProxyModel over a QStandardItemModel holding the same rows.
//
// Targets: load <= 2x the JSON parse alone; filter switch >= 5x faster than the
// proxy; dataset memory <= 2x the raw values (22 x 8 bytes a row).

#include "framework/data/dataset.h"
#include "framework/data/packet.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

#include <benchmark/benchmark.h>

#include "smoke.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

const int kRefs = bench::Scaled(100, 2);
constexpr int kPercs = 10;
constexpr int kAges = 241;
const int kRows = kRefs * kPercs * kAges;
constexpr double kRawBytesPerRow = 22 * 8;

const char* const kValueFields[] = {
    "VRPESOMASIDA", "VRALTUMASIDA", "VRPESOFEMIDA", "VRALTUFEMIDA", "VRDPPCFEMIDA", "VRMDPCFEMIDA",
    "VRPMCFFEMIDA", "VRDPATFEMIDA", "VRMDATFEMIDA", "VRDPPSFEMIDA", "VRMDPSFEMIDA", "VRDPPCMASIDA",
    "VRMDPCMASIDA", "VRPMCFMASIDA", "VRDPATMASIDA", "VRMDATMASIDA", "VRDPPSMASIDA", "VRMDPSMASIDA"};

QList<fw::FieldDef> AgeFields() {
  QList<fw::FieldDef> f = {{QStringLiteral("CDPERCENTIL"), fw::FieldType::String, 3},
                           {QStringLiteral("CDREFEBIBL"), fw::FieldType::String, 2},
                           {QStringLiteral("NRIDADEFIN"), fw::FieldType::Float, 0},
                           {QStringLiteral("NRIDADEINI"), fw::FieldType::Float, 0}};
  for (const char* n : kValueFields) f.append({QString::fromLatin1(n), fw::FieldType::Float, 0});
  return f;
}

QString RefCode(int ref) { return QStringLiteral("%1").arg(ref, 2, 10, QLatin1Char('0')).right(2); }
QString PercCode(int perc) {
  static const int kPercentiles[kPercs] = {3, 5, 10, 25, 50, 75, 85, 90, 95, 97};
  return QStringLiteral("%1").arg(kPercentiles[perc], 3, 10, QLatin1Char('0'));
}

double Round(double v, int decimals) {
  const double f = std::pow(10.0, decimals);
  return std::round(v * f) / f;
}

// Growth-curve-like values: weight and height rise with age and percentile,
// head circumference levels off; three decimals for weight and height, two
// for the rest, as the tables hold them.
const fw::DataPacket& Packet() {
  static const fw::DataPacket packet = [] {
    fw::DataPacket p(AgeFields());
    for (int ref = 0; ref < kRefs; ++ref)
      for (int perc = 0; perc < kPercs; ++perc)
        for (int age = 0; age < kAges; ++age) {
          const double z = (perc - 4.5) / 3.0;
          const double refScale = 1.0 + (ref % 7 - 3) * 0.01;
          const double weight =
              (3.3 + 10.0 * std::log1p(age / 12.0) + age * 0.12) * (1 + 0.12 * z) * refScale;
          const double height =
              (49.9 + 35.0 * std::log1p(age / 10.0) + age * 0.2) * (1 + 0.04 * z) * refScale;
          const double head = (34.5 + 6.0 * std::log1p(age / 6.0)) * (1 + 0.03 * z);
          QVariantList row = {PercCode(perc), RefCode(ref), double(age % 12),
                              std::floor(age / 12.0)};
          const double base[] = {weight, height, weight * 0.95, height * 0.98};
          for (double v : base) row.append(Round(v, 3));
          for (int k = 0; k < 14; ++k) {
            const double v =
                k % 3 == 0 ? 0.8 + 0.03 * k + age * 0.004 : (k % 3 == 1 ? head : weight + k * 0.1);
            row.append(Round(v * (1 + 0.001 * perc), 2));
          }
          p.appendRow(row);
        }
    return p;
  }();
  return packet;
}

const QByteArray& Json() {
  static const QByteArray json = Packet().toJson();
  return json;
}

std::unique_ptr<fw::Dataset> NewDataset() {
  auto ds = std::make_unique<fw::Dataset>(QStringLiteral("cdsIdPesAlt"));
  for (const fw::FieldDef& f : AgeFields()) ds->AddField(f);
  return ds;
}

QString FilterFor(int i) {
  return QStringLiteral("CDREFEBIBL = %1 and CDPERCENTIL = %2")
      .arg(fw::Dataset::QuoteFilterValue(RefCode(i * 37 % kRefs)),
           fw::Dataset::QuoteFilterValue(PercCode(i % kPercs)));
}

// --- load ---------------------------------------------------------------------------------

void BM_JsonParse_QJsonDocument(benchmark::State& state) {
  const QByteArray& json = Json();
  for (auto _ : state) {
    QJsonDocument doc = QJsonDocument::fromJson(json);
    benchmark::DoNotOptimize(doc);
  }
  state.counters["MB"] = double(json.size()) / 1e6;
  state.SetBytesProcessed(int64_t(state.iterations()) * json.size());
}
BENCHMARK(BM_JsonParse_QJsonDocument)->Unit(benchmark::kMillisecond);

void BM_Load_DatasetFromJson(benchmark::State& state) {
  const QByteArray& json = Json();
  auto ds = NewDataset();
  for (auto _ : state) {
    ds->SetData(fw::DataPacket::fromJson(json));
    benchmark::DoNotOptimize(ds->RecordCount());
  }
  if (ds->RecordCount() != kRows) state.SkipWithError("wrong row count");
  const double perRow = double(ds->MemoryBytes()) / kRows;
  state.counters["bytes_per_row"] = perRow;
  state.counters["mem_ratio_vs_176"] = perRow / kRawBytesPerRow;
  state.SetBytesProcessed(int64_t(state.iterations()) * json.size());
}
BENCHMARK(BM_Load_DatasetFromJson)->Unit(benchmark::kMillisecond);

// --- filter switch -------------------------------------------------------------------------

void BM_FilterSwitch_Dataset(benchmark::State& state) {
  auto ds = NewDataset();
  ds->SetData(Packet());
  ds->SetFiltered(true);
  int i = 0;
  for (auto _ : state) {
    ds->SetFilter(FilterFor(++i));
    benchmark::DoNotOptimize(ds->RecordCount());
  }
  if (ds->RecordCount() != kAges) state.SkipWithError("filter selected the wrong rows");
}
BENCHMARK(BM_FilterSwitch_Dataset)->Unit(benchmark::kMicrosecond);

class PairFilter : public QSortFilterProxyModel {
 public:
  void setPair(const QString& ref, const QString& perc) {
    ref_ = ref;
    perc_ = perc;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const QAbstractItemModel* m = sourceModel();
    return m->index(row, 1, parent).data().toString() == ref_ &&
           m->index(row, 0, parent).data().toString() == perc_;
  }

 private:
  QString ref_, perc_;
};

QStandardItemModel& Model() {
  static QStandardItemModel* model = [] {
    const fw::DataPacket& p = Packet();
    auto* m = new QStandardItemModel(int(p.rowCount()), int(p.fields().size()));
    for (int r = 0; r < p.rowCount(); ++r)
      for (int c = 0; c < p.fields().size(); ++c)
        m->setItem(r, c, new QStandardItem(p.value(r, c).toString()));
    return m;
  }();
  return *model;
}

void BM_FilterSwitch_ProxyModel(benchmark::State& state) {
  PairFilter proxy;
  proxy.setSourceModel(&Model());
  int i = 0;
  for (auto _ : state) {
    ++i;
    proxy.setPair(RefCode(i * 37 % kRefs), PercCode(i % kPercs));
    benchmark::DoNotOptimize(proxy.rowCount());
  }
  if (proxy.rowCount() != kAges) state.SkipWithError("proxy selected the wrong rows");
}
BENCHMARK(BM_FilterSwitch_ProxyModel)->Unit(benchmark::kMicrosecond);

// --- locate -----------------------------------------------------------------------------------

void BM_Locate_TwoKeysInFilter(benchmark::State& state) {
  auto ds = NewDataset();
  ds->SetData(Packet());
  ds->SetFilter(FilterFor(3));
  ds->SetFiltered(true);
  int i = 0;
  bool allFound = true;
  for (auto _ : state) {
    const int age = ++i % kAges;
    allFound &= ds->Locate(QStringLiteral("NRIDADEFIN;NRIDADEINI"),
                           QVariantList{QString::number(age % 12), QString::number(age / 12)});
  }
  if (!allFound) state.SkipWithError("a key was not found");
}
BENCHMARK(BM_Locate_TwoKeysInFilter)->Unit(benchmark::kMicrosecond);

void BM_Locate_TwoKeysWholeTable(benchmark::State& state) {
  auto ds = NewDataset();
  ds->SetData(Packet());
  int i = 0;
  bool allFound = true;
  for (auto _ : state) {
    ++i;
    // A row near the end of the table: the scan covers most of it.
    allFound &= ds->Locate(
        QStringLiteral("CDREFEBIBL;CDPERCENTIL;NRIDADEINI"),
        QVariantList{RefCode(kRefs - 1 - i % 3), PercCode(i % kPercs), QStringLiteral("7")});
  }
  if (!allFound) state.SkipWithError("a key was not found");
}
BENCHMARK(BM_Locate_TwoKeysWholeTable)->Unit(benchmark::kMicrosecond);

// --- delta after one edit ----------------------------------------------------------------------

void BM_Delta_AfterOneEdit(benchmark::State& state) {
  auto ds = NewDataset();
  ds->SetData(Packet());
  ds->SetRecNo(1000);
  ds->Edit();
  ds->FieldByName(u"VRPESOMASIDA")->SetAsString(QStringLiteral("12,345"));
  ds->Post();
  for (auto _ : state) {
    fw::DeltaPacket d = ds->Delta();
    benchmark::DoNotOptimize(d);
  }
}
BENCHMARK(BM_Delta_AfterOneEdit)->Unit(benchmark::kMicrosecond);

// The whole path from a freshly loaded table: the first change detaches the
// storage shared with the packet, so this includes that copy.
void BM_Delta_FirstEditFromFreshLoad(benchmark::State& state) {
  auto ds = NewDataset();
  int i = 0;
  for (auto _ : state) {
    ds->SetData(Packet());
    ds->SetRecNo(++i % kRows);
    ds->Edit();
    ds->FieldByName(u"VRPESOMASIDA")->SetAsFloat(12.345);
    ds->Post();
    QByteArray wire = ds->Delta().toJson();
    benchmark::DoNotOptimize(wire);
  }
}
BENCHMARK(BM_Delta_FirstEditFromFreshLoad)->Unit(benchmark::kMillisecond);

// Prints the target ratios after the usual table. They use CPU time: every
// case runs on one thread, and CPU time holds steady on a busy machine.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
      times_[r.run_name.function_name] = r.GetAdjustedCPUTime() * Scale(r.time_unit);
      if (r.run_name.function_name == "BM_Load_DatasetFromJson") {
        const auto it = r.counters.find("mem_ratio_vs_176");
        if (it != r.counters.end()) memRatio_ = it->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto t = [&](const char* n) { return times_.count(n) ? times_[n] : 0.0; };
    std::printf("\nTargets\n");
    if (t("BM_JsonParse_QJsonDocument") > 0 && t("BM_Load_DatasetFromJson") > 0)
      std::printf("  load / QJsonDocument::fromJson          = %.2f  (target <= 2)\n",
                  t("BM_Load_DatasetFromJson") / t("BM_JsonParse_QJsonDocument"));
    if (t("BM_FilterSwitch_Dataset") > 0 && t("BM_FilterSwitch_ProxyModel") > 0)
      std::printf("  proxy filter / dataset filter switch    = %.1f  (target >= 5)\n",
                  t("BM_FilterSwitch_ProxyModel") / t("BM_FilterSwitch_Dataset"));
    if (memRatio_ > 0)
      std::printf("  dataset bytes / raw value bytes (176/row) = %.2f  (target <= 2)\n", memRatio_);
  }

 private:
  static double Scale(benchmark::TimeUnit u) {
    switch (u) {
      case benchmark::kNanosecond:
        return 1e-9;
      case benchmark::kMicrosecond:
        return 1e-6;
      case benchmark::kMillisecond:
        return 1e-3;
      case benchmark::kSecond:
        return 1;
    }
    return 1;
  }
  std::map<std::string, double> times_;
  double memRatio_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);  // QStandardItemModel lives in Qt Gui
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
