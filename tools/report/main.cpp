// tabrelpeso-report: writes a report of the reports folder to a PDF file,
// without a display, reading the database directly.

#include "framework/data/errors.h"
#include "framework/sql/localdb.h"
#include "framework/ui/dialog_forms.h"
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

namespace {

const char* const kDescription =
    "Gera um relatório em PDF, sem tela.\n"
    "\n"
    "Exemplos:\n"
    "  tabrelpeso-report --db tabrelpeso.db --out tabelas.pdf\n"
    "  tabrelpeso-report --db tabrelpeso.db --refs 01,02 --percs 003,050 --out p.pdf\n"
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
  parser.addHelpOption();
  const QCommandLineOption db("db", "Banco: arquivo SQLite ou postgresql://...", "BANCO");
  const QCommandLineOption out("out", "Arquivo PDF a gravar.", "ARQUIVO");
  const QCommandLineOption refs("refs", "Referências: lista ou T (padrão).", "LISTA", "T");
  const QCommandLineOption percs("percs", "Percentis: lista ou T (padrão).", "LISTA", "T");
  const QCommandLineOption code("code", "Código do relatório (padrão QEL536).", "CÓDIGO",
                                "QEL536");
  const QCommandLineOption reports("reports", "Pasta das definições de relatório.", "PASTA");
  const QCommandLineOption title("title", "Título (padrão: o da definição).", "TÍTULO");
  const QCommandLineOption param("param", "Outro parâmetro da consulta.", "NOME=VALOR");
  parser.addOptions({db, out, refs, percs, code, reports, title, param});
  parser.process(app);
  if (!parser.isSet(db) || !parser.isSet(out))
    return Fail(QStringLiteral("informe --db e --out (--help mostra as opções)."));

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
    request.database = fw::OpenLocalDatabase(parser.value(db), QStringLiteral("relatorio"));
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
