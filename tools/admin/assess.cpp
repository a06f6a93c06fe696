#include "assess.h"

#include "assess/age.h"
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
    "  assess --db BANCO --ref CÓDIGO --sex M|F (--age-days N | --age-months N |\n"
    "         --birth AAAA-MM-DD --date AAAA-MM-DD) [--gestational-weeks S[+D]]\n"
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
    "      --gestational-weeks: idade gestacional ao nascer; abaixo de 37 semanas,\n"
    "      até os 24 meses de idade cronológica, a avaliação usa a idade corrigida\n"
    "      (cronológica menos as semanas que faltaram para 40; Ministério da Saúde,\n"
    "      Caderneta da Criança), devolvida em idade_corrigida_dias.\n"
    "  assess --db BANCO [--ref CÓDIGO] --sex M|F --birth AAAA-MM-DD --date AAAA-MM-DD\n"
    "         [--gestational-weeks S[+D]] [--weight KG] [--length CM | --height CM]\n"
    "         [--head CM] [--name TEXTO] [--record TEXTO] [--series VISITAS.csv]\n"
    "         --pdf ARQUIVO.pdf\n"
    "      a impressão da tela Avaliação antropométrica em PDF: criança, datas,\n"
    "      idades, medidas, IMC, indicadores, referência e citação, um gráfico por\n"
    "      indicador. --series acrescenta as visitas de um arquivo CSV do usuário\n"
    "      (data;peso;medida;estatura;pc) com a tabela de z por visita (--date é\n"
    "      então opcional). Sem --ref, as referências da OMS. Nada é gravado.\n"
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
  if (!get("--pdf").isEmpty()) return RunAssessPdf(o, Usage);
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
  const bool byDates = !get("--birth").isEmpty() || !get("--date").isEmpty();
  if (int(!get("--age-days").isEmpty()) + int(!get("--age-months").isEmpty()) + int(byDates) != 1)
    return Usage(QStringLiteral("informe a idade com --age-days ou com --age-months (um só), ou "
                                "com --birth e --date."));
  const QDate birth = QDate::fromString(get("--birth"), Qt::ISODate);
  const QDate measured = QDate::fromString(get("--date"), Qt::ISODate);
  bool ok = false;
  if (byDates) {
    const std::optional<int> days = trp::assess::AgeDays(birth, measured);
    if (!days)
      return Usage(QStringLiteral("informe --birth e --date (AAAA-MM-DD), a medição depois do "
                                  "nascimento."));
    child.ageDays = *days;
    ok = true;
  } else if (!get("--age-days").isEmpty()) {
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
  std::optional<int> corrected;
  if (!get("--gestational-weeks").isEmpty()) {
    const std::optional<int> gestation = trp::assess::ParseGestation(get("--gestational-weeks"));
    if (!gestation)
      return Usage(QStringLiteral("--gestational-weeks aceita de 20 a 44 semanas e de 0 a 6 "
                                  "dias, como 30 ou 30+4."));
    // Without dates the age in days stands for them.
    const QDate from = byDates ? birth : QDate(2000, 1, 1);
    // The age assessed, the chronological one when no correction applies.
    corrected = trp::assess::CorrectedAgeDays(from, from.addDays(child.ageDays), *gestation)
                    .value_or(child.ageDays);
    child.ageDays = *corrected;
  }
  std::string out;
  srv::AppendResultsJson(out, trp::assess::Assess(Load(get("--db"), ref), child));
  if (corrected) {
    out.pop_back();
    out += std::string(out.size() > 1 ? "," : "") +
           "\"idade_corrigida_dias\":" + std::to_string(*corrected) + "}";
  }
  std::cout << out << "\n";
  return 0;
}
