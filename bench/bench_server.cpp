// GetPercIdade over HTTP (one keep-alive connection) against the sqlite3
// command-line shell dumping the same table as JSON from the same file,
// measured in the same run, on the sample (W1: CDC 2000 and WHO) and on a
// generated database with 100 references (W100: 241,000 age rows).
// Counters: medians in milliseconds and ratio = server / sqlite3 (target <= 0.2).
// Also AvaliaMedida (one child) and AvaliaMedidas (100 children a call) on
// the sample, calls per second against GetPercIdade's in the same run.

#include "bench/generated_db.h"
#include "server/admin.h"
#include "server/app_server.h"
#include "server/schema.h"
#include "server/storage.h"

#include "smoke.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const kToken = "bench-token";
const char* const kBody = R"({"jsonrpc":"2.0","id":1,"method":"GetPercIdade","params":[]})";

QString CdcDir() {
  const QString env = qEnvironmentVariable("TRP_SOURCE_DIR");
  return (env.isEmpty() ? QStringLiteral(TRP_SOURCE_DIR) : env) + QStringLiteral("/data/cdc2000");
}

struct World {
  QString path;
  std::unique_ptr<srv::AppServer> server;
  std::unique_ptr<httplib::Client> client;
};

QTemporaryDir& Dir() {
  static QTemporaryDir dir;
  return dir;
}

World& GetWorld(int references) {
  static std::map<int, std::unique_ptr<World>> worlds;
  auto& w = worlds[references];
  if (w) return *w;
  w = std::make_unique<World>();
  w->path = Dir().filePath(QStringLiteral("w%1.db").arg(references));
  if (references == 1)
    srv::SeedSampleDatabase(w->path, CdcDir());
  else
    bench::GenerateAgeTables(w->path, references);
  srv::ServerOptions o;
  o.port = 0;
  o.database = w->path;
  o.threads = 4;
  o.logLevel = QStringLiteral("quiet");
  o.tokens = {{"bench", "maintainer", kToken}};
  w->server = std::make_unique<srv::AppServer>(o);
  const int port = w->server->Start();
  w->client = std::make_unique<httplib::Client>("127.0.0.1", port);
  w->client->set_keep_alive(true);
  w->client->set_tcp_nodelay(true);
  w->client->set_read_timeout(120, 0);
  return *w;
}

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

size_t CallGetPercIdade(World& w) {
  auto res = w.client->Post("/Qel53600.rdmTabRelPeso",
                            {{"Authorization", std::string("Bearer ") + kToken}}, kBody,
                            "application/json");
  if (!res || res->status != 200 || res->body.find("\"result\"") == std::string::npos)
    throw std::runtime_error("GetPercIdade failed");
  return res->body.size();
}

double Sqlite3Cli(const World& w) {
  const std::string cmd =
      "sqlite3 -json '" + w.path.toStdString() +
      "' 'SELECT * FROM PESALTIDADE ORDER BY CDREFEBIBL, CDPERCENTIL, NRIDADEINI, NRIDADEFIN' "
      ">/dev/null";
  const auto t0 = std::chrono::steady_clock::now();
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("sqlite3 failed");
  return Ms(std::chrono::steady_clock::now() - t0);
}

// Unchanged table: the answer comes from the cache, checked against the
// change counters in the database on every call.
void BM_GetPercIdadeVsSqlite3(benchmark::State& state) {
  World& w = GetWorld(int(state.range(0)));
  CallGetPercIdade(w);  // fills the cache
  std::vector<double> http, cli;
  size_t bytes = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    bytes = CallGetPercIdade(w);
    http.push_back(Ms(std::chrono::steady_clock::now() - t0));
    cli.push_back(Sqlite3Cli(w));
  }
  state.counters["server_ms"] = Median(http);
  state.counters["sqlite3_ms"] = Median(cli);
  state.counters["ratio"] = Median(http) / Median(cli);
  state.counters["MB"] = double(bytes) / 1e6;
}

// Marks the rows of the first `parts` (reference, percentile) pairs as
// changed, as saves do.
void Touch(const World& w, int parts) {
  auto db = srv::OpenDb(w.path);
  srv::Transaction tx(*db, true);
  std::vector<std::pair<std::string, std::string>> keys;
  db->run("SELECT DISTINCT CDREFEBIBL, CDPERCENTIL FROM PESALTIDADE ORDER BY 1, 2", {},
          [&](const srv::SqlRow& r) { keys.emplace_back(r.text(0), r.text(1)); });
  for (int i = 0; i < parts && i < int(keys.size()); ++i)
    srv::BumpChangeCounter(*db, "PESALTIDADE", keys[size_t(i)].first, keys[size_t(i)].second);
  tx.commit();
}

// After a save the screen reloads the table: the part of the answer for the
// saved (reference, percentile) is rebuilt (argument 2: 1 part changed); after
// a restart or a change everywhere, all of it (argument 2: 1000).
void BM_GetPercIdadeAfterChangeVsSqlite3(benchmark::State& state) {
  World& w = GetWorld(int(state.range(0)));
  CallGetPercIdade(w);
  std::vector<double> http, cli;
  for (auto _ : state) {
    Touch(w, int(state.range(1)));
    const auto t0 = std::chrono::steady_clock::now();
    CallGetPercIdade(w);
    http.push_back(Ms(std::chrono::steady_clock::now() - t0));
    cli.push_back(Sqlite3Cli(w));
  }
  state.counters["server_ms"] = Median(http);
  state.counters["sqlite3_ms"] = Median(cli);
  state.counters["ratio"] = Median(http) / Median(cli);
}

std::string Post(World& w, const std::string& body) {
  auto res = w.client->Post("/Qel53600.rdmTabRelPeso",
                            {{"Authorization", std::string("Bearer ") + kToken}}, body,
                            "application/json");
  if (!res || res->status != 200 || res->body.find("\"result\"") == std::string::npos)
    throw std::runtime_error("call failed: " + (res ? res->body : std::string("no answer")));
  return res->body;
}

// Children spread over 0-19 years, both sexes, every measure, so that each
// call reaches every indicator of references 01, 02 and 05.
std::string Child(std::mt19937& rng) {
  std::uniform_int_distribution<int> days(0, 6900);
  const int d = days(rng);
  const double years = d / 365.25;
  const double height = years < 2 ? 50 + 18 * years : 86 + 6 * (years - 2);
  const double weight = years < 2 ? 3.3 + 4.5 * years : 12 + 2.8 * (years - 2);
  char out[160];
  std::snprintf(out, sizeof out, R"(["%s",%d,null,null,%.1f,%.1f,"%s",%s])",
                rng() % 2 ? "F" : "M", d, weight, height, d < 731 ? "D" : "P",
                d < 1826 ? "45.0" : "null");
  return out;
}

// Calls per second of `body` and of GetPercIdade, alternating, same connection.
void CallsPerSecond(benchmark::State& state, const std::function<std::string()>& body,
                    int children) {
  World& w = GetWorld(1);
  CallGetPercIdade(w);
  Post(w, body());  // the references are read once, then kept
  std::vector<double> assess, table;
  for (auto _ : state) {
    const int calls = bench::Scaled(200, 2);
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) Post(w, body());
    assess.push_back(Ms(std::chrono::steady_clock::now() - t0) / calls);
    t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < bench::Scaled(20, 1); ++i) CallGetPercIdade(w);
    table.push_back(Ms(std::chrono::steady_clock::now() - t0) / bench::Scaled(20, 1));
  }
  state.counters["calls_per_s"] = 1000 / Median(assess);
  state.counters["children_per_s"] = 1000 * children / Median(assess);
  state.counters["GetPercIdade_per_s"] = 1000 / Median(table);
  state.counters["ratio"] = Median(table) / Median(assess);
}

void BM_AvaliaMedidaVsGetPercIdade(benchmark::State& state) {
  std::mt19937 rng(7);
  CallsPerSecond(
      state,
      [&] {
        std::string child = Child(rng);
        child.pop_back();
        return R"({"jsonrpc":"2.0","id":1,"method":"AvaliaMedida","params":)" + child +
               R"(,"01,02,05"]})";
      },
      1);
}

void BM_AvaliaMedidas100VsGetPercIdade(benchmark::State& state) {
  std::mt19937 rng(7);
  CallsPerSecond(
      state,
      [&] {
        std::string body = R"({"jsonrpc":"2.0","id":1,"method":"AvaliaMedidas","params":[[)";
        for (int i = 0; i < 100; ++i) body += (i ? "," : "") + Child(rng);
        return body + R"(],"01,02,05"]})";
      },
      100);
}

BENCHMARK(BM_AvaliaMedidaVsGetPercIdade)->Iterations(bench::Scaled(5, 1))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AvaliaMedidas100VsGetPercIdade)
    ->Iterations(bench::Scaled(5, 1))
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_GetPercIdadeVsSqlite3)
    ->Arg(1)
    ->Arg(bench::Scaled(100, 2))
    ->Iterations(bench::Scaled(9, 1))
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetPercIdadeAfterChangeVsSqlite3)
    ->Args({1, 1})
    ->Args({bench::Scaled(100, 2), 1})
    ->Args({1, bench::Scaled(1000, 5)})
    ->Args({bench::Scaled(100, 2), bench::Scaled(1000, 5)})
    ->Iterations(bench::Scaled(5, 1))
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
