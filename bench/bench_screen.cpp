// The maintenance screen's first load on the sample database: from
// CriaTabRelPeso until the six table datasets are open, against the same
// four calls (GetReferencia, GetPercIdade, GetPercAltura, GetPercAlturaNCHS)
// made directly on a fresh connection, with their packets read. Both run in
// the same iterations, against one in-process server over HTTP, with the real
// busy indicator.
//
// Target: the screen adds at most half again (counter ratio <= 1.5).

#include "framework/net/checkresult.h"
#include "framework/net/netconnection.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/gui_dialogs.h"
#include "framework/ui/host_services.h"
#include "screens/tabrelpeso/tabrelpeso_form.h"
#include "screens/tabrelpeso/tabrelpeso_module.h"
#include "server/app_server.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

namespace {

const QString kToken = QStringLiteral("bench-token");

struct World {
  QTemporaryDir dir;
  std::unique_ptr<srv::AppServer> server;
  std::unique_ptr<QMainWindow> main;
  fw::GuiDialogs dialogs;
  int port = 0;

  World() {
    const QString db = dir.filePath(QStringLiteral("tabrelpeso.db"));
    srv::SeedSampleDatabase(db, QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000"));
    srv::ServerOptions o;
    o.port = 0;
    o.database = db;
    o.threads = 2;
    o.logLevel = QStringLiteral("quiet");
    o.tokens = {{QStringLiteral("bench"), QStringLiteral("maintainer"), kToken}};
    server = std::make_unique<srv::AppServer>(o);
    port = server->Start();
    main = std::make_unique<QMainWindow>();
    auto* area = new QMdiArea(main.get());
    main->setCentralWidget(area);
    main->resize(1000, 700);
    main->show();
    fw::Host& host = fw::Host::Instance();
    host.SetMainWindow(main.get());
    host.SetMdiArea(area);
    host.SetServer(QStringLiteral("127.0.0.1"), port);
    host.SetToken(kToken);
    fw::InstallDialogs(&dialogs);
  }
};

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

double DirectCallsSeconds() {
  const auto start = std::chrono::steady_clock::now();
  fw::TNetConnection net(QStringLiteral("netDireto"));
  net.SetServerName(QLatin1String(trp::services::kServerName));
  net.BeforeConnect = [](fw::TNetConnection& c) {
    c.SetHost(fw::WebURL());
    c.SetPort(fw::WebPort());
  };
  net.SetConnected(true);
  int rows = 0;
  for (const char* method :
       {"GetReferencia", "GetPercIdade", "GetPercAltura", "GetPercAlturaNCHS"}) {
    const QVariant payload = fw::CheckResultServ(net.Call(QLatin1String(method)), true, 0);
    rows += payload.toList().size();
  }
  benchmark::DoNotOptimize(rows);
  net.SetConnected(false);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_FirstLoad_ScreenVsDirect(benchmark::State& state) {
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
// Context for the ratio: building the screen alone (every control, dataset
// and query, FormCreate), without showing or loading it.
void BM_BuildScreen(benchmark::State& state) {
  for (auto _ : state) delete fw::CreateForm<trp::tabrelpeso::TfrmTabRelPeso>();
}
BENCHMARK(BM_BuildScreen)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_FirstLoad_ScreenVsDirect)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  {
    World world;
    benchmark::RunSpecifiedBenchmarks();
    fw::InstallDialogs(nullptr);
    fw::Host::Instance().Reset();
  }
  benchmark::Shutdown();
  return 0;
}
