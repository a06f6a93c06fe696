// tabrelpeso-admin: database administration of the application server.

#include "framework/data/shipped_paths.h"
#include "assess.h"
#include "import/cdc2000.h"
#include "import/who.h"
#include "server/admin.h"
#include "server/app_server.h"
#include "server/reference_check.h"
#include "tools/admin/master_commands.h"
#include "tools/admin/audit_command.h"
#include "tools/admin/table_commands.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string_view>

namespace {

const char* const kHelp =
    "Uso: tabrelpeso-admin COMANDO [opções]\n"
    "\n"
    "Comandos:\n"
    "  init --db BANCO\n"
    "      cria o esquema ou aplica as migrações pendentes.\n"
    "  import-cdc --db BANCO --ref CÓDIGO [--dir PASTA] [--percentiles 3,5,10,...]\n"
    "      preenche as três tabelas da referência com as curvas CDC 2000 (arquivos CSV\n"
    "      do CDC em PASTA; padrão: /usr/share/tabrelpeso/data/cdc2000, os dados\n"
    "      instalados, ou data/cdc2000 na árvore de compilação). Percentis publicados\n"
    "      pelo CDC vêm da coluna publicada; os demais são calculados de L, M e S.\n"
    "      \"Média\" é M; \"Desvio Padrão\" é M x S, uma aproximação que só vale perto\n"
    "      da mediana (as distribuições LMS são assimétricas). Importar de novo os\n"
    "      mesmos arquivos deixa as mesmas linhas; um arquivo ausente, malformado ou\n"
    "      que não confere com L, M e S é recusado e nada é gravado.\n"
    "  import-who --db BANCO --ref CÓDIGO [--stature-ref CÓDIGO2] [--dir PASTA]\n"
    "             [--percentiles 3,5,10,...]\n"
    "      preenche a referência com as curvas da OMS (tabelas LMS da OMS em PASTA;\n"
    "      padrão: /usr/share/tabrelpeso/data/who, ou data/who na árvore de\n"
    "      compilação). Cada percentil p é calculado de L, M e S:\n"
    "      M(1 + L S z)^(1/L), ou M exp(S z) quando L = 0, z o quantil normal de p;\n"
    "      padrão: 3, 5, 10, 25, 50, 75, 90, 95 e 97.\n"
    "      Tabela por idade, mês m de 0 a 228: até 60 meses, padrões OMS 2006 no dia\n"
    "      arredondado de m x 30,4375 (peso, comprimento/estatura, perímetro cefálico;\n"
    "      comprimento deitado até 23 meses, estatura a partir de 24); de 61 meses em\n"
    "      diante, referência OMS 2007 (estatura até 228 meses, peso até 120); o que\n"
    "      a OMS não publica fica vazio. \"Média\" é M e \"Desvio Padrão\" é M x S,\n"
    "      como no CDC. Tabela peso/altura: peso por comprimento, 45 a 110 cm de\n"
    "      0,5 em 0,5 cm. Com --stature-ref, a tabela peso/altura de CÓDIGO2 recebe o\n"
    "      peso por estatura, 65 a 120 cm de 0,5 em 0,5 cm (comprimento e estatura\n"
    "      nunca na mesma tabela). A tabela NCHS 2000 fica vazia. Mesmas garantias de\n"
    "      import-cdc; um arquivo ausente, malformado ou truncado é recusado.\n"
    "  check --db BANCO [--ref CÓDIGO]\n"
    "      verificação de plausibilidade das tabelas (todas as referências sem --ref),\n"
    "      uma linha por ocorrência com tabela, sexo, chave e valores: percentis fora\n"
    "      de ordem na mesma idade/altura; salto: valor afastado da reta entre os\n"
    "      vizinhos (mês anterior e seguinte, ou passo de altura) mais que 6 % do\n"
    "      valor até 5 meses, 2 % a partir de 6 meses, 1 % por altura; valores fora\n"
    "      dos limites fisiológicos (peso 0,3 a 250 kg, altura 30 a 230 cm,\n"
    "      perímetro cefálico 20 a 70 cm; desvio padrão entre 0 e a média); meses ou\n"
    "      alturas faltando e valores vazios entre preenchidos; L, M e S com M ou S\n"
    "      não positivos. Antes, uma linha por curva de L, M e S guardada (indicador,\n"
    "      unidade da chave, faixa e pontos por sexo). Termina com status 1\n"
    "      se encontrar algo. Roda também depois de cada importação, sobre as\n"
    "      referências importadas: a importação fica gravada e o status é 1 se a\n"
    "      verificação encontrar algo.\n"
    "  seed --db BANCO [--dir PASTA] [--who-dir PASTA_OMS]\n"
    "      base de exemplo: referência 01 (CDC 2000) com os percentis publicados,\n"
    "      02 (OMS 2006/2007: idade e peso por comprimento) e 05 (OMS 2006: peso\n"
    "      por estatura) com os mesmos percentis, 03 e 04 sem linhas, e os\n"
    "      percentis 003 a 097. PASTA_OMS padrão: a pasta who ao lado de PASTA.\n"
    "  export --db BANCO --ref CÓDIGO --table age|height|nchs|all [--perc CÓDIGO]\n"
    "         [--format csv|xlsx|ods] [--decimal comma|point] [--out ARQUIVO]\n"
    "      CSV (padrão; na saída padrão sem --out): uma tabela, uma linha por chave;\n"
    "      comma (padrão) usa vírgula decimal e ';' entre campos, point usa ponto e ','.\n"
    "      XLSX e ODS (exigem --out): uma planilha por tabela com os nomes das colunas\n"
    "      no cabeçalho, e as planilhas Referência (nome, citação, fonte, licença),\n"
    "      Percentis e, com --table all, LMS. --perc: só as linhas desse percentil.\n"
    "      O que export grava, import-table lê de volta sem mapa de colunas.\n"
    "  import-table --db BANCO --ref CÓDIGO --in ARQUIVO (.csv|.xlsx|.ods) [--sheet NOME]\n"
    "         [--table age|height|nchs] [--key anos-meses|meses|dias|cm] [--columns MAPA]\n"
    "         [--percentiles 3,5,...] [--name NOME --citation T --source T --licence T]\n"
    "         [--dry-run]\n"
    "      importa uma tabela de percentis (colunas P3, P5, ... de uma medida) ou de L, M\n"
    "      e S (os percentis de --percentiles calculados por M(1 + L S z)^(1/L); L, M e S\n"
    "      guardados para a avaliação). O mapa é proposto pelos cabeçalhos; MAPA o\n"
    "      corrige: COLUNA=PAPEL separados por vírgula, COLUNA o texto do cabeçalho ou a\n"
    "      letra, PAPEL chave, anos, meses, sexo, P3..P97, L, M, S ou ignorar; e\n"
    "      sexo=masculino|feminino (planilha de um sexo), medida=peso|estatura|pc.\n"
    "      Sem --sheet, lê cada planilha com cabeçalho reconhecido (o sexo pode vir do\n"
    "      nome: Meninos, Meninas). Idade em meses: m + 0,5 é o mês m (como o CDC); em\n"
    "      dias: o dia round(m x 30,4375) é o mês m. Os percentis da referência que\n"
    "      vêm no arquivo são substituídos; os que faltam no cadastro são criados pelo\n"
    "      valor. Uma referência nova precisa de --name (ou da planilha Referência de um\n"
    "      arquivo de export). Tudo numa transação auditada, restaurável pelo histórico;\n"
    "      qualquer erro (coluna errada, texto num número, chave repetida) é dito com a\n"
    "      linha e a coluna, o status é 1 e nada é gravado. --dry-run imprime as linhas\n"
    "      como seriam gravadas e as ocorrências da verificação, sem gravar.\n"
    "  reference list --db BANCO\n"
    "  reference add --db BANCO --code CÓDIGO --name NOME [--citation TEXTO]\n"
    "                [--source TEXTO] [--licence TEXTO]\n"
    "  reference edit --db BANCO --code CÓDIGO [--name NOME] [--citation TEXTO]\n"
    "                 [--source TEXTO] [--licence TEXTO]\n"
    "  reference remove --db BANCO --code CÓDIGO\n"
    "      referências bibliográficas: list imprime CÓDIGO;NOME, uma por linha. O\n"
    "      código segue a regra das telas (\"6\" vira \"06\"); o nome é obrigatório;\n"
    "      em edit, só as opções dadas mudam (um texto vazio apaga citação, fonte\n"
    "      ou licença). Uma referência com linhas nas tabelas não é excluída.\n"
    "  percentile list|add|edit|remove --db BANCO [--code CÓDIGO] [--name NOME]\n"
    "             [--value VALOR]\n"
    "      percentis, do mesmo modo (\"15\" vira \"015\"); list imprime\n"
    "      CÓDIGO;NOME;VALOR. VALOR (maior que 0 e menor que 100) é o percentil\n"
    "      que as importações calculam de L, M e S para esse código.\n"
    "      Status 0 quando feito; 1 quando recusado, com o motivo na saída de erro.\n"
    "  audit --db BANCO [--ref R] [--perc P] [--table age|height|nchs] [--since DATA]\n"
    "        [--user U] [--format csv]\n"
    "      histórico de inclusões, alterações, exclusões e restaurações, o mais recente\n"
    "      primeiro: quando, quem, o quê, tabela, referência, percentil, chave e os\n"
    "      valores antes e depois (só os alterados numa alteração). DATA é AAAA-MM-DD\n"
    "      ou DD/MM/AAAA; csv usa ';' entre campos.\n"
    "\n"
    "BANCO é um arquivo SQLite ou postgresql://usuario@host:porta/banco.\n";

int Usage(const QString& message) {
  std::cerr << "tabrelpeso-admin: " << message.toStdString() << "\n"
            << "Use --help para ver os comandos.\n";
  return 2;
}

// The shipped data folder `name` (cdc2000, who) next to the program or in the sources.
QString DefaultDataDir(const QString& name, const QString& probe) {
  const QString dir = fw::FindShippedDir(QStringLiteral("data/") + name, probe);
  return dir.isEmpty() ? QStringLiteral(TRP_SOURCE_DIR "/data/") + name : dir;
}

// "3,5,10" as numbers; false on a part that is not a number.
bool ParsePercentiles(const QString& text, QList<double>& out) {
  out.clear();
  for (const QString& p : text.split(u',', Qt::SkipEmptyParts)) {
    bool ok = false;
    out.append(p.trimmed().toDouble(&ok));
    if (!ok) return false;
  }
  return true;
}

void PrintFindings(const QStringList& findings) {
  for (const QString& f : findings) std::cout << f.toStdString() << "\n";
  if (findings.isEmpty())
    std::cout << "Verificação: nada encontrado.\n";
  else
    std::cout << "Verificação: " << findings.size() << " ocorrência(s).\n";
}

}  // namespace

int main(int argc, char** argv) {
  // The printout draws text: it needs the fonts of a GUI application, never a display.
  bool pdf = false;
  for (int i = 1; i < argc; ++i) pdf = pdf || std::string_view(argv[i]) == "--pdf";
  if (pdf && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::unique_ptr<QCoreApplication> application =
      pdf ? std::make_unique<QGuiApplication>(argc, argv)
          : std::make_unique<QCoreApplication>(argc, argv);
  QCoreApplication& app = *application;
  const QStringList args = app.arguments();
  if (args.size() < 2) return Usage(QStringLiteral("informe um comando."));
  const QString command = args[1];
  if (IsMasterCommand(command)) return RunMasterCommand(args);
  if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
      command == QLatin1String("help")) {
    std::cout << kHelp << kAssessHelp;
    return 0;
  }
  std::map<QString, QString> opt;
  const QStringList known{
      "--db",         "--ref",    "--dir",     "--percentiles", "--table", "--format",
      "--decimal",    "--out",    "--who-dir", "--stature-ref", "--perc",  "--since",
      "--user",       "--sex",    "--age-days", "--age-months", "--weight", "--length",
      "--height",     "--head",   "--in",      "--birth",       "--date",  "--gestational-weeks",
      "--name",       "--record", "--pdf",     "--series",      "--sheet", "--key",
      "--columns",    "--citation", "--source", "--licence"};
  bool dryRun = false;
  for (int i = 2; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--help")) {
      std::cout << kHelp << kAssessHelp;
      return 0;
    }
    if (args[i] == QLatin1String("--dry-run")) {
      dryRun = true;
      continue;
    }
    if (!known.contains(args[i]))
      return Usage(QStringLiteral("opção desconhecida: '%1'.").arg(args[i]));
    if (i + 1 >= args.size()) return Usage(QStringLiteral("%1 exige um valor.").arg(args[i]));
    opt[args[i]] = args[i + 1];
    ++i;
  }
  auto need = [&](const char* name) -> QString {
    auto it = opt.find(QString::fromLatin1(name));
    return it == opt.end() ? QString() : it->second;
  };
  const QString db = need("--db");
  if (db.isEmpty()) return Usage(QStringLiteral("informe o banco com --db."));
  if (command == QLatin1String("audit")) return RunAuditCommand(db, opt);
  if (command == QLatin1String("export")) {
    if (need("--ref").isEmpty()) return Usage(QStringLiteral("informe a referência com --ref."));
    return RunExport(opt);
  }
  const bool who = command == QLatin1String("import-who");
  const QString dir =
      !need("--dir").isEmpty() ? need("--dir")
      : who ? DefaultDataDir(QStringLiteral("who"), QStringLiteral("weianthro.txt"))
            : DefaultDataDir(QStringLiteral("cdc2000"), QStringLiteral("wtageinf.csv"));
  QList<double> percentiles =
      who ? trp::who::DefaultPercentiles() : trp::cdc::PublishedPercentiles();
  if (!need("--percentiles").isEmpty() && !ParsePercentiles(need("--percentiles"), percentiles))
    return Usage(
        QStringLiteral("percentil inválido em --percentiles: '%1'.").arg(need("--percentiles")));

  try {
    if (command == QLatin1String("init")) {
      srv::InitDatabase(db);
      std::cout << "Esquema pronto em " << db.toStdString() << ".\n";
    } else if (command == QLatin1String("import-cdc")) {
      if (need("--ref").isEmpty()) return Usage(QStringLiteral("informe a referência com --ref."));
      const srv::ImportCounts n = srv::ImportCdc(db, need("--ref"), dir, percentiles);
      std::cout << "Importado na referência " << need("--ref").toStdString() << ": " << n.age
                << " linhas por idade, " << n.height << " por altura, " << n.nchs
                << " NCHS 2000.\n";
      PrintFindings(n.findings);
      if (!n.findings.isEmpty()) return 1;
    } else if (who) {
      if (need("--ref").isEmpty()) return Usage(QStringLiteral("informe a referência com --ref."));
      const srv::ImportCounts n =
          srv::ImportWho(db, need("--ref"), need("--stature-ref"), dir, percentiles);
      std::cout << "Importado na referência " << need("--ref").toStdString() << ": " << n.age
                << " linhas por idade, " << n.height << " de peso por comprimento.\n";
      if (!need("--stature-ref").isEmpty())
        std::cout << "Importado na referência " << need("--stature-ref").toStdString() << ": "
                  << n.stature << " linhas de peso por estatura.\n";
      PrintFindings(n.findings);
      if (!n.findings.isEmpty()) return 1;
    } else if (command == QLatin1String("assess")) {
      return RunAssess(opt);
    } else if (command == QLatin1String("check")) {
      for (const QString& line : srv::KeptLms(db, need("--ref")))
        std::cout << line.toStdString() << "\n";
      const QStringList findings = srv::CheckReferences(db, need("--ref"));
      PrintFindings(findings);
      return findings.isEmpty() ? 0 : 1;
    } else if (command == QLatin1String("seed")) {
      srv::SeedSampleDatabase(db, dir, need("--who-dir"));
      std::cout << "Base de exemplo pronta em " << db.toStdString() << " (dados de "
                << QDir::toNativeSeparators(QDir(dir).absolutePath()).toStdString() << ").\n";
    } else if (command == QLatin1String("import-table")) {
      return RunImportTable(opt, dryRun, percentiles);
    } else {
      return Usage(QStringLiteral("comando desconhecido: '%1'.").arg(command));
    }
  } catch (const std::exception& e) {
    std::cerr << "tabrelpeso-admin: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
