// tabrelpeso-report: writes a report of the reports folder to a PDF file,
// without a display, reading a database directly (--db) or the application
// server's data through its token, as the desktop program does.

#include "framework/data/errors.h"
#include "framework/net/netconnection.h"
#include "framework/sql/localdb.h"
#include "framework/ui/dialog_forms.h"
#include "framework/ui/host_services.h"
#include "host/hostconfig.h"
#include "host/servercopy.h"
#include "model/messages.h"
#include "report/report_definition.h"
#include "report/report_engine.h"
#include "report/report_query.h"
#include "report/report_render.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <iostream>
#include <memory>

namespace {

const char* const kDescription =
    "Gera um relatório em PDF, sem tela.\n"
    "\n"
    "Exemplos:\n"
    "  tabrelpeso-report --db tabrelpeso.db --out tabelas.pdf\n"
    "  tabrelpeso-report --db tabrelpeso.db --refs 01,02 --percs 003,050 --out p.pdf\n"
    "  tabrelpeso-report --server 10.0.0.5:8211 --token-file ~/.config/tabrelpeso/token \\\n"
    "    --out tabelas.pdf\n"
    "\n"
    "Sem --db, os dados vêm do servidor de aplicação de --server e da credencial de\n"
    "--token-file (ou da variável de ambiente TRP_TOKEN), ou da seção [Servidor]\n"
    "(WebURL, WebPort, Token) do arquivo de configuração do programa (--config);\n"
    "com o servidor fora do ar, nada é gravado. --token deixa a credencial visível\n"
    "a todos os usuários da máquina (ps).\n"
    "\n"
    "--refs e --percs aceitam uma lista de códigos separados por vírgula, ou T\n"
    "(todos, o padrão). Outros parâmetros da consulta: --param NOME=VALOR.\n"
    "Saída 0: gravado (o número de páginas vai para a saída padrão); 1: erro.";

int Fail(const QString& message) {
  std::cerr << "tabrelpeso-report: " << message.toStdString() << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Fonts and the PDF writer need a GUI application, not a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(kDescription));
  const QCommandLineOption help({"h", "help"}, "Mostra esta ajuda e sai.");
  parser.addOption(help);
  const QCommandLineOption db("db", "Banco: arquivo SQLite ou postgresql://...", "BANCO");
  const QCommandLineOption out("out", "Arquivo PDF a gravar.", "ARQUIVO");
  const QCommandLineOption refs("refs", "Referências: lista ou T (padrão).", "LISTA", "T");
  const QCommandLineOption percs("percs", "Percentis: lista ou T (padrão).", "LISTA", "T");
  const QCommandLineOption code("code", "Código do relatório (padrão QEL536).", "CÓDIGO",
                                "QEL536");
  const QCommandLineOption reports("reports", "Pasta das definições de relatório.", "PASTA");
  const QCommandLineOption title("title", "Título (padrão: o da definição).", "TÍTULO");
  const QCommandLineOption param("param", "Outro parâmetro da consulta.", "NOME=VALOR");
  const QCommandLineOption server("server", "Servidor de aplicação (os dados vêm dele).",
                                  "HOST:PORTA");
  const QCommandLineOption token("token", "Credencial (token) do servidor de aplicação.", "TOKEN");
  const QCommandLineOption tokenFile("token-file", "Arquivo que contém a credencial (token).",
                                     "ARQUIVO");
  const QCommandLineOption caFile(
      "ca-file", "Certificados das autoridades aceitas para o servidor em https.", "ARQUIVO");
  const QCommandLineOption config("config", "Arquivo de configuração com a seção [Servidor].",
                                  "ARQUIVO");
  parser.addOptions({db, out, refs, percs, code, reports, title, param, server, token, tokenFile,
                     config, caFile});
  if (!parser.parse(QCoreApplication::arguments()))
    return Fail(host::PortugueseParseError(parser.errorText()) +
                QStringLiteral(" (--help mostra as opções)."));
  if (parser.isSet(help)) {
    // The program's name, not the path it was started by (the man page reads it).
    const QString shown = QStringLiteral("Uso: tabrelpeso-report");
    std::cout << host::PortugueseHelp(parser.helpText(), QStringLiteral("tabrelpeso-report"))
                     .replace(QStringLiteral("Uso: ") + QCoreApplication::arguments().first(),
                              shown)
                     .toStdString();
    return 0;
  }
  if (!parser.positionalArguments().isEmpty())
    return Fail(
        QStringLiteral("argumento não reconhecido: %1").arg(parser.positionalArguments().first()));
  if (!parser.isSet(out)) return Fail(QStringLiteral("informe --out (--help mostra as opções)."));
  if (parser.isSet(db) && (parser.isSet(server) || parser.isSet(token) || parser.isSet(tokenFile)))
    return Fail(QStringLiteral("use --db ou --server e --token-file, não os dois."));

  // Without --db, the server of the options or of the program's settings,
  // read as the desktop program reads them.
  std::unique_ptr<host::ServerCopy> copy;
  if (!parser.isSet(db)) {
    QStringList hostArgs{QStringLiteral("tabrelpeso")};
    for (const QCommandLineOption* o : {&server, &token, &tokenFile, &config, &caFile})
      if (parser.isSet(*o)) hostArgs << "--" + o->names().first() << parser.value(*o);
    QCoreApplication::setApplicationName(QStringLiteral("tabrelpeso"));
    const host::ParsedArguments settings = host::ParseHostArguments(hostArgs);
    if (!settings.error.isEmpty()) return Fail(settings.error);
    if (settings.config.Embedded())
      return Fail(
          QStringLiteral("informe --db, ou --server e --token-file, ou [Servidor] WebURL no "
                         "arquivo %1 (--help mostra as opções).")
              .arg(settings.config.iniPath));
    fw::Host::Instance().SetServer(settings.config.serverHost, settings.config.serverPort);
    fw::Host::Instance().SetToken(settings.config.token);
    fw::TNetConnection::SetDefaultTls(settings.config.serverTls, settings.config.caFile);
    copy = std::make_unique<host::ServerCopy>(QStringLiteral("relatorio"));
  }

  try {
    const QString dir = parser.isSet(reports) ? parser.value(reports) : report::ReportsDir();
    const QString path = report::DefinitionPath(dir, parser.value(code));
    if (!QFileInfo::exists(path))
      return Fail(report::FormatMessage(
          trp::model::Msg(trp::model::RelTabPesoMessages(), u"Arq_Rel_Err"),
          {parser.value(code), QDir::toNativeSeparators(dir)}));
    const report::ReportDefinition definition = report::LoadDefinition(path);
    report::RenderRequest request;
    request.definition = &definition;
    if (copy) {
      // The report's own read brings the copy up to date, or refuses.
      copy->Open();
      copy->InstallReadCheck();
      request.database = QSqlDatabase::database(copy->ConnectionName(), false);
    } else {
      request.database = fw::OpenLocalDatabase(parser.value(db), QStringLiteral("relatorio"));
    }
    request.params = fw::TQueryParams(
        report::QueryParameterNames(definition, fw::DialectOf(request.database)));
    auto set = [&](const QString& name, const QString& value) {
      if (request.params.ExistParam(name)) request.params.ParamByName(name).SetValue(value);
    };
    set(QStringLiteral("P_CDREFERENCIA"), parser.value(refs));
    set(QStringLiteral("P_CDPERCENTIL"), parser.value(percs));
    for (const QString& pair : parser.values(param)) {
      const qsizetype eq = pair.indexOf(QLatin1Char('='));
      if (eq <= 0) return Fail(QStringLiteral("--param espera NOME=VALOR, não \"%1\".").arg(pair));
      set(pair.left(eq), pair.mid(eq + 1));
    }
    request.title = parser.isSet(title) ? parser.value(title) : definition.title;
    const int pages = report::WritePdf(request, parser.value(out));
    std::cout << pages << "\n";
    return 0;
  } catch (const fw::Error& e) {
    return Fail(e.message());
  }
}
