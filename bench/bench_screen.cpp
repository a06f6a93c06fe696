// The maintenance screen against the bare server calls, on the sample
// database (argument 1) and on a generated one with 100 references
// (argument 100: 241,000 age rows), against one in-process server over HTTP,
// with the real busy indicator. Both sides run in the same iterations.
//
// - First load: from CriaTabRelPeso until the six table datasets are open,
//   against the same four calls (GetReferencia, GetPercIdade, GetPercAltura,
//   GetPercAlturaNCHS) made directly on a fresh connection, packets read.
//   Target: ratio <= 1.5 at scale.
// - Confirm of one edited age row (send the delta, reload the table, find the
//   row again), against GetPercIdade alone on a fresh connection. Target:
//   ratio <= 1.3 at both sizes.

#include "bench/generated_db.h"
#include "framework/net/checkresult.h"
#include "framework/net/netconnection.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/scripted_dialogs.h"
#include "framework/ui/host_services.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "server/app_server.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "smoke.h"

#include <chrono>
#include <initializer_list>
#include <map>
#include <memory>

namespace {

const QString kToken = QStringLiteral("bench-token");

// One database and its server per size; the host points at the one in use.
struct World {
  QTemporaryDir dir;
  std::unique_ptr<srv::AppServer> server;
  int port = 0;

  explicit World(int references) {
    const QString db = dir.filePath(QStringLiteral("tabrelpeso.db"));
    if (references == 1)
      srv::SeedSampleDatabase(db, QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000"));
    else
      bench::GenerateAgeTables(db, references);
    srv::ServerOptions o;
    o.port = 0;
    o.database = db;
    o.threads = 2;
    o.logLevel = QStringLiteral("quiet");
    o.tokens = {{QStringLiteral("bench"), QStringLiteral("maintainer"), kToken}};
    server = std::make_unique<srv::AppServer>(o);
    port = server->Start();
  }
};

struct Host {
  std::unique_ptr<QMainWindow> main;
  // Never a window waiting for a person: what would be shown is answered
  // by default and recorded.
  fw::ScriptedDialogs dialogs;
  std::map<int, std::unique_ptr<World>> worlds;

  Host() {
    main = std::make_unique<QMainWindow>();
    auto* area = new QMdiArea(main.get());
    main->setCentralWidget(area);
    main->resize(1000, 700);
    main->show();
    fw::Host& host = fw::Host::Instance();
    host.SetMainWindow(main.get());
    host.SetMdiArea(area);
    host.SetToken(kToken);
    fw::InstallDialogs(&dialogs);
  }
  void Use(int references) {
    auto& w = worlds[references];
    if (!w) w = std::make_unique<World>(references);
    fw::Host::Instance().SetServer(QStringLiteral("127.0.0.1"), w->port);
  }
};

Host* gHost = nullptr;

void Flush() {
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool ScreenLoaded() {
  auto* f = trp::tabrelpeso::frmTabRelPeso.data();
  return f && f->cdsPesAltNCHS->Active() && f->cdsPercAlturaNCHS->Active();
}

double OpenScreenSeconds() {
  const auto start = std::chrono::steady_clock::now();
  CriaTabRelPeso();
  while (!ScreenLoaded()) QCoreApplication::processEvents();
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  trp::tabrelpeso::frmTabRelPeso->Close();
  Flush();
  return s;
}

// The calls made directly on a fresh connection, their packets read.
double DirectCallsSeconds(std::initializer_list<const char*> methods) {
  const auto start = std::chrono::steady_clock::now();
  fw::TNetConnection net(QStringLiteral("netDireto"));
  net.SetServerName(QLatin1String(trp::services::kServerName));
  net.BeforeConnect = [](fw::TNetConnection& c) {
    c.SetHost(fw::WebURL());
    c.SetPort(fw::WebPort());
  };
  net.SetConnected(true);
  int rows = 0;
  for (const char* method : methods) {
    const QVariant payload = fw::CheckResultServ(net.Call(QLatin1String(method)), true, 0);
    rows += payload.toList().size();
  }
  benchmark::DoNotOptimize(rows);
  net.SetConnected(false);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double DirectCallsSeconds() {
  return DirectCallsSeconds(
      {"GetReferencia", "GetPercIdade", "GetPercAltura", "GetPercAlturaNCHS"});
}

void BM_FirstLoad_ScreenVsDirect(benchmark::State& state) {
  gHost->Use(int(state.range(0)));
  double screen = 0, direct = 0;
  for (auto _ : state) {
    const double s = OpenScreenSeconds();
    const double d = DirectCallsSeconds();
    screen += s;
    direct += d;
    state.SetIterationTime(s);
  }
  state.counters["screen_ms"] = benchmark::Counter(screen * 1000 / state.iterations());
  state.counters["direct_ms"] = benchmark::Counter(direct * 1000 / state.iterations());
  state.counters["ratio"] = benchmark::Counter(direct > 0 ? screen / direct : 0);
}
// One age row edited and confirmed: the toolbar's confirm posts it, sends the
// delta, reloads the table and finds the row again.
void BM_ConfirmAgeRow_VsGetPercIdade(benchmark::State& state) {
  gHost->Use(int(state.range(0)));
  CriaTabRelPeso();
  while (!ScreenLoaded()) QCoreApplication::processEvents();
  auto* f = trp::tabrelpeso::frmTabRelPeso.data();
  f->mnuIdPesAlt->trigger();
  Flush();
  QAction* confirm = f->Twin(QStringLiteral("sbtConfirmar"));
  double screen = 0, direct = 0;
  double step = 0.001;
  for (auto _ : state) {
    f->cdsIdPesAlt->First();
    f->cdsIdPesAlt->Edit();
    fw::Field* peso = f->cdsIdPesAlt->FieldByName(u"VRPESOMASIDA");
    peso->SetAsFloat(peso->AsFloat() + step);
    step = -step;
    // The generated tables need not look like a child's growth: a
    // plausibility question is answered Sim, as a maintainer sure of them would.
    gHost->dialogs.Clear();
    gHost->dialogs.QueueAnswer(fw::mbYes);
    const auto start = std::chrono::steady_clock::now();
    confirm->trigger();
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    gHost->dialogs.Clear();
    if (f->cdsIdPesAlt->State() != fw::DatasetState::Browse) {
      state.SkipWithError("the confirm did not post");
      break;
    }
    const double d = DirectCallsSeconds({"GetPercIdade"});
    screen += s;
    direct += d;
    state.SetIterationTime(s);
  }
  f->Close();
  Flush();
  state.counters["screen_ms"] = benchmark::Counter(screen * 1000 / state.iterations());
  state.counters["direct_ms"] = benchmark::Counter(direct * 1000 / state.iterations());
  state.counters["ratio"] = benchmark::Counter(direct > 0 ? screen / direct : 0);
}

// Context for the ratio: building the screen alone (every control, dataset
// and query, FormCreate), without showing or loading it.
void BM_BuildScreen(benchmark::State& state) {
  for (auto _ : state) delete fw::CreateForm<trp::tabrelpeso::TfrmTabRelPeso>();
}
BENCHMARK(BM_BuildScreen)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_FirstLoad_ScreenVsDirect)
    ->Arg(1)
    ->Arg(bench::Scaled(100, 2))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Apply(bench::MinTimeOrOnce<3>);
BENCHMARK(BM_ConfirmAgeRow_VsGetPercIdade)
    ->Arg(1)
    ->Arg(bench::Scaled(100, 2))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Apply(bench::MinTimeOrOnce<3>);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  {
    Host host;
    gHost = &host;
    benchmark::RunSpecifiedBenchmarks();
    fw::InstallDialogs(nullptr);
    fw::Host::Instance().Reset();
    gHost = nullptr;
  }
  benchmark::Shutdown();
  return 0;
}
