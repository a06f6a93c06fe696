// The web view's two heaviest pages over HTTP from one keep-alive client
// with a reader's session cookie, against the sample database: the CDC's age
// table (reference 01, percentile 50, as the report prints it) and the
// assessment of the clinical printout's girl on the WHO reference (results
// and four charts drawn as SVG). Target: each under 100 ms on the release
// build. Also the JSON-RPC call the table page makes, in the same run, so
// the page's own share is seen.

#include "server/app_server.h"
#include "server/web/web_view.h"

#include "smoke.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <QGuiApplication>
#include <QTemporaryDir>

#include <memory>
#include <stdexcept>

namespace {

const char* const kToken = "bench-web-token";

struct World {
  QTemporaryDir dir;
  std::unique_ptr<srv::AppServer> server;
  std::unique_ptr<httplib::Client> client;
};

World& GetWorld() {
  static std::unique_ptr<World> w;
  if (w) return *w;
  w = std::make_unique<World>();
  const QString db = w->dir.filePath(QStringLiteral("web.db"));
  const QString source = qEnvironmentVariableIsEmpty("TRP_SOURCE_DIR")
                             ? QStringLiteral(TRP_SOURCE_DIR)
                             : qEnvironmentVariable("TRP_SOURCE_DIR");
  srv::SeedSampleDatabase(db, source + QStringLiteral("/data/cdc2000"));
  srv::ServerOptions o;
  o.port = 0;
  o.database = db;
  o.logLevel = QStringLiteral("quiet");
  o.tokens = {{QStringLiteral("bench"), QStringLiteral("reader"), QLatin1String(kToken)}};
  o.web = web::Factory(web::DefaultFiles());
  w->server = std::make_unique<srv::AppServer>(o);
  const int port = w->server->Start();
  w->client = std::make_unique<httplib::Client>("127.0.0.1", port);
  w->client->set_keep_alive(true);
  w->client->set_default_headers({{"Cookie", std::string("trp_sessao=") + kToken}});
  return *w;
}

void Expect(const httplib::Result& r, benchmark::State& state) {
  if (!r || r->status != 200) state.SkipWithError("a página não respondeu 200");
}

void BM_WebTablePage(benchmark::State& state) {
  World& w = GetWorld();
  for (auto _ : state) {
    auto r = w.client->Get("/web/tabela?ref=01&tabela=idade&percentil=050");
    Expect(r, state);
    benchmark::DoNotOptimize(r);
  }
}

void BM_WebAssessmentPage(benchmark::State& state) {
  World& w = GetWorld();
  const std::string form =
      "sexo=F&nascimento=10%2F01%2F2021&medicao=20%2F01%2F2024&peso=14%2C2&medida=95&ref=02";
  for (auto _ : state) {
    auto r = w.client->Post("/web/avaliacao", form, "application/x-www-form-urlencoded");
    Expect(r, state);
    benchmark::DoNotOptimize(r);
  }
}

void BM_RpcGetPercIdade(benchmark::State& state) {
  World& w = GetWorld();
  const httplib::Headers auth{{"Authorization", std::string("Bearer ") + kToken}};
  for (auto _ : state) {
    auto r = w.client->Post("/Qel53600.rdmTabRelPeso", auth,
                            R"({"jsonrpc":"2.0","id":1,"method":"GetPercIdade","params":[]})",
                            "application/json");
    Expect(r, state);
    benchmark::DoNotOptimize(r);
  }
}

BENCHMARK(BM_WebTablePage)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Apply(bench::MinTimeOrOnce<2>);
BENCHMARK(BM_WebAssessmentPage)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Apply(bench::MinTimeOrOnce<2>);
BENCHMARK(BM_RpcGetPercIdade)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Apply(bench::MinTimeOrOnce<2>);

}  // namespace

int main(int argc, char** argv) {
  // The charts are drawn with Qt Gui's fonts, without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
