// tabrelpeso-server: the application server rdmTabRelPeso as a service.

#include "server/app_server.h"
#include "server/web/web_view.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <malloc.h>
#include <pthread.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>

namespace {

const char* const kHelp =
    "Uso: tabrelpeso-server [opções]\n"
    "Servidor de aplicação rdmTabRelPeso (JSON-RPC 2.0 em POST /Qel53600.rdmTabRelPeso).\n"
    "\n"
    "  --listen HOST:PORTA  endereço de escuta (padrão 127.0.0.1:8211; porta 0 escolhe uma\n"
    "                       porta livre e a imprime: \"listening on HOST:PORTA\")\n"
    "  --db BANCO           arquivo SQLite (criado se não existir) ou\n"
    "                       postgresql://usuario@host:porta/banco\n"
    "  --threads N          linhas de execução mantidas prontas (padrão 8); cada conexão\n"
    "                       aberta ocupa uma, e outras são criadas quando todas estão ocupadas\n"
    "  --max-connections N  conexões HTTP atendidas ao mesmo tempo (padrão 256)\n"
    "  --max-per-peer N     conexões HTTP de um mesmo endereço (padrão 32; atrás de um\n"
    "                       balanceador, dê pelo menos o total de estações)\n"
    "  --idle-timeout S     fecha uma conexão ociosa após S segundos (padrão 5)\n"
    "  --request-timeout S  cabeçalho e corpo de uma requisição devem chegar em S segundos\n"
    "                       (padrão 10); depois disso a conexão é fechada\n"
    "  --max-header-kib N   tamanho máximo da linha de requisição e dos cabeçalhos (padrão 64)\n"
    "  --max-body-mib N     tamanho máximo do corpo, inclusive em partes (chunked) (padrão 16)\n"
    "  --body-budget-mib N  corpos acima de 64 KiB em leitura ao mesmo tempo, somados\n"
    "                       (padrão 32); além disso um corpo é recusado antes de ser lido\n"
    "  --peer-body-budget-mib N  o mesmo, a partir de um endereço (padrão 16)\n"
    "  --tls-cert ARQUIVO   certificado (PEM, com a cadeia) para atender somente por TLS\n"
    "                       (https); exige --tls-key\n"
    "  --tls-key ARQUIVO    chave privada (PEM) do certificado\n"
    "  --db-connections N   conexões ao banco, no máximo (padrão 8)\n"
    "  --tokens ARQUIVO     credenciais, uma por linha: \"nome papel credencial\", papel\n"
    "                       maintainer (tudo) ou reader (somente métodos Get)\n"
    "  --log NIVEL          info (uma linha por chamada, padrão), warn (só falhas) ou quiet\n"
    "  --no-web             desliga a interface web de consulta em /web/ (ligada por padrão:\n"
    "                       referências, tabelas, curvas e avaliação, somente leitura, com\n"
    "                       as mesmas credenciais, pelo navegador em http(s)://HOST:PORTA/web/)\n"
    "  --help               mostra esta ajuda\n"
    "\n"
    "O esquema do banco é criado ou migrado ao iniciar. SIGTERM ou SIGINT encerram o\n"
    "servidor depois das chamadas em andamento.\n";

int Usage(const QString& message) {
  std::cerr << "tabrelpeso-server: " << message.toStdString() << "\n"
            << "Use --help para ver as opções.\n";
  return 2;
}

struct Limit {
  int* (*field)(srv::ServerOptions&);
  int max;
};

const std::map<QString, Limit>& Limits() {
  static const std::map<QString, Limit> limits{
      {QStringLiteral("--max-connections"),
       {[](srv::ServerOptions& o) { return &o.maxConnections; }, 65536}},
      {QStringLiteral("--max-per-peer"),
       {[](srv::ServerOptions& o) { return &o.maxPerPeer; }, 65536}},
      {QStringLiteral("--idle-timeout"),
       {[](srv::ServerOptions& o) { return &o.idleSeconds; }, 3600}},
      {QStringLiteral("--request-timeout"),
       {[](srv::ServerOptions& o) { return &o.requestSeconds; }, 3600}},
      {QStringLiteral("--max-header-kib"),
       {[](srv::ServerOptions& o) { return &o.headerKib; }, 1024}},
      {QStringLiteral("--max-body-mib"), {[](srv::ServerOptions& o) { return &o.bodyMib; }, 1024}},
      {QStringLiteral("--body-budget-mib"),
       {[](srv::ServerOptions& o) { return &o.bodyBudgetMib; }, 65536}},
      {QStringLiteral("--peer-body-budget-mib"),
       {[](srv::ServerOptions& o) { return &o.peerBodyBudgetMib; }, 65536}},
      {QStringLiteral("--db-connections"),
       {[](srv::ServerOptions& o) { return &o.dbConnections; }, 1024}}};
  return limits;
}

}  // namespace

int main(int argc, char** argv) {
  // Buffers of 1 MiB and more (request bodies, parsed trees) are mapped on
  // their own and unmapped when freed, instead of growing the heap: glibc
  // would otherwise raise this bar after the first large body and keep the
  // next ones' memory in its arenas.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  // The web view draws its charts with Qt Gui (fonts), without a display.
  bool webView = true;
  for (int i = 1; i < argc; ++i) webView = webView && std::strcmp(argv[i], "--no-web") != 0;
  if (webView && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  std::unique_ptr<QCoreApplication> application =
      webView ? std::make_unique<QGuiApplication>(argc, argv)
              : std::make_unique<QCoreApplication>(argc, argv);
  QCoreApplication& app = *application;
  srv::ServerOptions options;
  options.threads = 8;
  QString tokensFile;
  const QStringList args = app.arguments();
  for (int i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    auto value = [&](QString* out) {
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    QString v;
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      std::cout << kHelp;
      return 0;
    } else if (a == QLatin1String("--listen")) {
      if (!value(&v)) return Usage(QStringLiteral("--listen exige HOST:PORTA."));
      const qsizetype colon = v.lastIndexOf(u':');
      bool ok = false;
      const int port = colon > 0 ? v.mid(colon + 1).toInt(&ok) : 0;
      if (!ok || port < 0 || port > 65535)
        return Usage(
            QStringLiteral("endereço inválido em --listen: '%1' (use HOST:PORTA).").arg(v));
      options.host = v.left(colon);
      options.port = port;
    } else if (a == QLatin1String("--db")) {
      if (!value(&options.database)) return Usage(QStringLiteral("--db exige um banco."));
    } else if (a == QLatin1String("--threads")) {
      bool ok = false;
      if (!value(&v) || (options.threads = v.toInt(&ok), !ok) || options.threads < 1 ||
          options.threads > 1024)
        return Usage(QStringLiteral("--threads exige um número de 1 a 1024."));
    } else if (const auto limit = Limits().find(a); limit != Limits().end()) {
      bool ok = false;
      int* target = limit->second.field(options);
      if (!value(&v) || (*target = v.toInt(&ok), !ok) || *target < 1 || *target > limit->second.max)
        return Usage(QStringLiteral("%1 exige um número de 1 a %2.").arg(a).arg(limit->second.max));
    } else if (a == QLatin1String("--tls-cert")) {
      if (!value(&options.tlsCert)) return Usage(QStringLiteral("--tls-cert exige um arquivo."));
    } else if (a == QLatin1String("--tls-key")) {
      if (!value(&options.tlsKey)) return Usage(QStringLiteral("--tls-key exige um arquivo."));
    } else if (a == QLatin1String("--no-web")) {
      // Read before the application was made.
    } else if (a == QLatin1String("--tokens")) {
      if (!value(&tokensFile)) return Usage(QStringLiteral("--tokens exige um arquivo."));
    } else if (a == QLatin1String("--log")) {
      if (!value(&options.logLevel) ||
          !QStringList{"info", "warn", "quiet"}.contains(options.logLevel))
        return Usage(QStringLiteral("--log aceita info, warn ou quiet."));
    } else {
      return Usage(QStringLiteral("opção desconhecida: '%1'.").arg(a));
    }
  }
  if (options.database.isEmpty()) return Usage(QStringLiteral("informe o banco com --db."));
  if (options.tlsCert.isEmpty() != options.tlsKey.isEmpty())
    return Usage(QStringLiteral("--tls-cert e --tls-key devem ser dados juntos."));
  if (tokensFile.isEmpty())
    return Usage(QStringLiteral("informe as credenciais com --tokens ARQUIVO."));

  // Signals are taken by sigwait below, never by the server's threads.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  try {
    options.tokens = srv::ReadTokensFile(tokensFile);
    if (options.tokens.isEmpty())
      return Usage(QStringLiteral("o arquivo de credenciais '%1' não tem nenhuma credencial.")
                       .arg(tokensFile));
    if (webView) options.web = web::Factory(web::DefaultFiles());
    srv::AppServer server(options);
    const int port = server.Start();
    std::printf("listening on %s:%d\n", options.host.toUtf8().constData(), port);
    if (options.tlsCert.isEmpty() && options.host != QLatin1String("127.0.0.1") &&
        options.host != QLatin1String("localhost") && options.host != QLatin1String("::1"))
      std::fprintf(stderr,
                   "tabrelpeso-server: atenção: HTTP sem TLS em %s; as credenciais passam em "
                   "claro pela rede (use --tls-cert e --tls-key, ou TLS no balanceador).\n",
                   options.host.toUtf8().constData());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&stopSignals, &sig);
    std::fprintf(stderr, "tabrelpeso-server: sinal %d recebido; encerrando.\n", sig);
    server.Stop();
  } catch (const std::exception& e) {
    std::cerr << "tabrelpeso-server: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
