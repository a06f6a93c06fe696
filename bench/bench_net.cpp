// Reading the application server's answer to GetPercIdade at scale: a pair
// whose rows packet holds 241,000 age rows of 22 columns (100 references x
// 10 percentiles x 241 ages), generated here. The connection finds the
// packets' byte spans in the JSON-RPC envelope and hands them to
// fw::DataPacket::fromJson; the baseline is the obvious way, a QJsonDocument
// of the whole body whose packets are written back to text and read again.
//
// Target: the envelope costs little over reading the packets themselves
// (ParseRpcResponse <= 1.2x DataPacket::fromJson on the two packets) and is
// several times faster than the QJsonDocument route.

#include "framework/data/packet.h"
#include "framework/net/rpcjson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <benchmark/benchmark.h>

#include "smoke.h"

#include <cmath>

namespace {

const int kRefs = bench::Scaled(100, 2);
constexpr int kPercs = 10;
constexpr int kAges = 241;

struct Body {
  QByteArray percentiles;
  QByteArray rows;
  QByteArray envelope;
};

const Body& PairBody() {
  static const Body body = [] {
    QList<fw::FieldDef> rowFields = {{"CDPERCENTIL", fw::FieldType::String, 3},
                                     {"CDREFEBIBL", fw::FieldType::String, 2},
                                     {"NRIDADEFIN", fw::FieldType::Float, 0},
                                     {"NRIDADEINI", fw::FieldType::Float, 0}};
    for (int i = 0; i < 18; ++i) {
      rowFields.append({QStringLiteral("VRVALOR%1").arg(i), fw::FieldType::Float, 0});
    }
    fw::DataPacket rows(rowFields);
    fw::DataPacket percs({{"CDREFEBIBL", fw::FieldType::String, 2},
                          {"CDPERCENTIL", fw::FieldType::String, 3},
                          {"NMPERCENTIL", fw::FieldType::String, 30}});
    QVariantList values;
    for (int r = 0; r < kRefs; ++r) {
      const QString ref = QStringLiteral("%1").arg(r, 2, 10, QLatin1Char('0'));
      for (int p = 0; p < kPercs; ++p) {
        const QString perc = QStringLiteral("%1").arg(p * 10 + 3, 3, 10, QLatin1Char('0'));
        percs.appendRow({ref, perc, QStringLiteral("Percentil %1").arg(p * 10 + 3)});
        for (int a = 0; a < kAges; ++a) {
          values = {perc, ref, double(a % 12), std::floor(a / 12.0)};
          for (int v = 0; v < 18; ++v) {
            values << std::round((3.5 + a * 0.37 + p * 0.11 + v) * 1000.0) / 1000.0;
          }
          rows.appendRow(values);
        }
      }
    }
    Body b;
    b.percentiles = percs.toJson();
    b.rows = rows.toJson();
    b.envelope = "{\"jsonrpc\":\"2.0\",\"id\":7,\"result\":[" + b.percentiles + "," + b.rows + "]}";
    return b;
  }();
  return body;
}

void BM_ParseRpcResponse(benchmark::State& state) {
  const Body& body = PairBody();
  for (auto _ : state) {
    const fw::ServerResult result = fw::ParseRpcResponse(body.envelope);
    if (!result.ok) state.SkipWithError("answer not read");
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(state.iterations() * body.envelope.size());
  state.counters["rows"] = kRefs * kPercs * kAges;
}

// The floor: the two packets read straight from their own bytes.
void BM_PacketsAlone(benchmark::State& state) {
  const Body& body = PairBody();
  for (auto _ : state) {
    auto a = fw::DataPacket::fromJson(body.percentiles);
    auto b = fw::DataPacket::fromJson(body.rows);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
  }
  state.SetBytesProcessed(state.iterations() * body.envelope.size());
}

// The baseline: a document of the whole answer, packets re-serialised.
void BM_QJsonDocumentRoute(benchmark::State& state) {
  const Body& body = PairBody();
  for (auto _ : state) {
    const QJsonArray pair = QJsonDocument::fromJson(body.envelope).object()["result"].toArray();
    QVariantList payload;
    for (const auto& item : pair) {
      payload << QVariant::fromValue(
          fw::DataPacket::fromJson(QJsonDocument(item.toObject()).toJson(QJsonDocument::Compact)));
    }
    benchmark::DoNotOptimize(payload);
  }
  state.SetBytesProcessed(state.iterations() * body.envelope.size());
}

BENCHMARK(BM_ParseRpcResponse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacketsAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QJsonDocumentRoute)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
