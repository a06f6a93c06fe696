#include "assess.h"

#include "assess/batch.h"
#include "server/assessment.h"
#include "server/storage.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <stdexcept>

const char* const kAssessHelp =
    "  assess --db BANCO --ref CÓDIGO --sex M|F (--age-days N | --age-months N)\n"
    "         [--weight KG] [--length CM | --height CM] [--head CM] --format json\n"
    "      avalia uma criança na referência: um objeto JSON com os indicadores\n"
    "      calculados (peso_idade, estatura_idade, peso_estatura, imc_idade,\n"
    "      pc_idade), cada um com z, percentil, faixa, classificacao e implausivel.\n"
    "      --length é o comprimento medido deitado, --height a estatura em pé.\n"
    "      Escore z pelo método LMS (OMS 2006/2007, CDC 2000); peso por idade, peso\n"
    "      por comprimento/estatura e IMC por idade da OMS com o método restrito além\n"
    "      de +-3; percentil = 100 x Phi(z); classificação da OMS pelos pontos de\n"
    "      corte do SISVAN (Ministério da Saúde, 2011). Referência sem L, M e S: só\n"
    "      a faixa entre as curvas de percentis guardadas (\"entre P10 e P25\").\n"
    "  assess --db BANCO --ref CÓDIGO --in ENTRADA.csv --out SAIDA.csv\n"
    "         [--decimal comma|point]\n"
    "      lote: colunas id;sexo;idade_dias;peso;medida;estatura;pc (medida D\n"
    "      deitado ou P em pé, células vazias permitidas); a saída repete cada linha\n"
    "      com z_, p_ e class_ de cada indicador. Uma linha malformada é informada\n"
    "      com o número e as demais são processadas (status 1 no fim).\n";

namespace {

int Usage(const QString& message) {
  std::cerr << "tabrelpeso-admin: " << message.toStdString() << "\n"
            << "Use --help para ver os comandos.\n";
  return 2;
}

trp::assess::Reference Load(const QString& database, const QString& code) {
  if (!srv::IsPostgresUrl(database) && !QFileInfo::exists(database))
    throw std::runtime_error(QStringLiteral("Banco não encontrado: '%1'.")
                                 .arg(srv::ShownTarget(database))
                                 .toStdString());
  auto db = srv::OpenDb(database);
  const std::string ref = code.toStdString();
  if (!srv::Exists(*db, "SELECT 1 FROM REFEBIBL WHERE CDREFEBIBL = ?", {ref}))
    throw std::runtime_error(
        QStringLiteral("Referência '%1' não cadastrada.").arg(code).toStdString());
  return srv::LoadAssessReference(*db, ref);
}

// A positive number from an option; false when present and not one.
bool Positive(const std::map<QString, QString>& o, const char* name, std::optional<double>& into) {
  const auto it = o.find(QString::fromLatin1(name));
  if (it == o.end()) return true;
  bool ok = false;
  const double v = QString(it->second).replace(u',', u'.').toDouble(&ok);
  if (!ok || !(v > 0)) return false;
  into = v;
  return true;
}

int Batch(const std::map<QString, QString>& o, const QString& database, const QString& ref) {
  const auto out = o.find(QStringLiteral("--out"));
  if (out == o.end()) return Usage(QStringLiteral("informe o arquivo de saída com --out."));
  const QString decimal = o.count(QStringLiteral("--decimal")) ? o.at(QStringLiteral("--decimal"))
                                                               : QStringLiteral("comma");
  if (decimal != QLatin1String("comma") && decimal != QLatin1String("point"))
    return Usage(QStringLiteral("--decimal aceita comma ou point."));
  QFile in(o.at(QStringLiteral("--in")));
  if (!in.open(QIODevice::ReadOnly))
    throw std::runtime_error(QStringLiteral("Não foi possível ler '%1': %2")
                                 .arg(in.fileName(), in.errorString())
                                 .toStdString());
  const trp::assess::Reference reference = Load(database, ref);
  QFile output(out->second);
  if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw std::runtime_error(QStringLiteral("Não foi possível gravar '%1': %2")
                                 .arg(output.fileName(), output.errorString())
                                 .toStdString());
  const bool terminal = isatty(fileno(stderr));
  const trp::assess::BatchCounts n = trp::assess::AssessCsv(
      in, output, &reference, decimal == QLatin1String("comma"),
      [&](qint64 line, const QString& reason) {
        std::cerr << (terminal ? "\r" : "") << "linha " << line << ": " << reason.toStdString()
                  << "; linha ignorada.\n";
      },
      [&](qint64 lines) {
        if (terminal) std::cerr << "\rProcessadas " << lines << " linhas..." << std::flush;
      });
  if (terminal) std::cerr << "\r";
  std::cout << "Avaliadas " << n.assessed << " de " << n.lines << " linhas";
  if (n.malformed) std::cout << "; " << n.malformed << " linha(s) malformada(s) ignorada(s)";
  std::cout << ".\n";
  return n.malformed ? 1 : 0;
}

}  // namespace

int RunAssess(const std::map<QString, QString>& o) {
  auto get = [&](const char* name) {
    const auto it = o.find(QString::fromLatin1(name));
    return it == o.end() ? QString() : it->second;
  };
  const QString ref = get("--ref");
  if (ref.isEmpty()) return Usage(QStringLiteral("informe a referência com --ref."));
  if (!get("--in").isEmpty()) return Batch(o, get("--db"), ref);

  trp::assess::Child child;
  if (get("--sex") == QLatin1String("M"))
    child.sex = trp::assess::Sex::Male;
  else if (get("--sex") == QLatin1String("F"))
    child.sex = trp::assess::Sex::Female;
  else
    return Usage(QStringLiteral("informe o sexo com --sex M ou --sex F."));
  if (get("--age-days").isEmpty() == get("--age-months").isEmpty())
    return Usage(QStringLiteral("informe a idade com --age-days ou com --age-months (um só)."));
  bool ok = false;
  if (!get("--age-days").isEmpty()) {
    child.ageDays = get("--age-days").toInt(&ok);
  } else {
    const double months = QString(get("--age-months")).replace(u',', u'.').toDouble(&ok);
    child.ageDays = int(std::lround(months * trp::assess::kDaysPerMonth));
  }
  if (!ok || child.ageDays < 0)
    return Usage(QStringLiteral("idade inválida: informe um número não negativo."));
  if (!get("--length").isEmpty() && !get("--height").isEmpty())
    return Usage(QStringLiteral("informe --length (deitado) ou --height (em pé), não os dois."));
  if (!Positive(o, "--weight", child.weight) || !Positive(o, "--length", child.stature) ||
      !Positive(o, "--height", child.stature) || !Positive(o, "--head", child.head))
    return Usage(
        QStringLiteral("peso, comprimento, estatura e perímetro cefálico devem ser "
                       "números positivos."));
  child.position = !get("--length").isEmpty()   ? trp::assess::Position::Lying
                   : !get("--height").isEmpty() ? trp::assess::Position::Standing
                                                : trp::assess::Position::Unknown;
  if (!get("--format").isEmpty() && get("--format") != QLatin1String("json"))
    return Usage(QStringLiteral("--format aceita somente json."));
  std::string out;
  srv::AppendResultsJson(out, trp::assess::Assess(Load(get("--db"), ref), child));
  std::cout << out << "\n";
  return 0;
}
