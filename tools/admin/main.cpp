// tabrelpeso-admin: database administration of the application server.

#include "server/admin.h"
#include "server/app_server.h"
#include "tools/cdc/cdc2000.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <iostream>
#include <map>

namespace {

const char* const kHelp =
    "Uso: tabrelpeso-admin COMANDO [opções]\n"
    "\n"
    "Comandos:\n"
    "  init --db BANCO\n"
    "      cria o esquema ou aplica as migrações pendentes.\n"
    "  import-cdc --db BANCO --ref CÓDIGO [--dir PASTA] [--percentiles 3,5,10,...]\n"
    "      preenche as três tabelas da referência com as curvas CDC 2000 (arquivos CSV\n"
    "      do CDC em PASTA; padrão: data/cdc2000 do repositório). Percentis publicados\n"
    "      pelo CDC vêm da coluna publicada; os demais são calculados de L, M e S.\n"
    "      \"Média\" é M; \"Desvio Padrão\" é M x S, uma aproximação que só vale perto\n"
    "      da mediana (as distribuições LMS são assimétricas). Importar de novo os\n"
    "      mesmos arquivos deixa as mesmas linhas; um arquivo ausente, malformado ou\n"
    "      que não confere com L, M e S é recusado e nada é gravado.\n"
    "  seed --db BANCO [--dir PASTA]\n"
    "      base de exemplo: referência 01 (CDC 2000) com os percentis publicados,\n"
    "      referências 02 a 04 sem linhas e os percentis 003 a 097.\n"
    "  export --db BANCO --ref CÓDIGO --table age|height|nchs [--format csv]\n"
    "         [--decimal comma|point] [--out ARQUIVO]\n"
    "      uma linha por chave; comma (padrão) usa vírgula decimal e ';' entre campos,\n"
    "      point usa ponto e ','.\n"
    "\n"
    "BANCO é um arquivo SQLite ou postgresql://usuario@host:porta/banco.\n";

int Usage(const QString& message) {
  std::cerr << "tabrelpeso-admin: " << message.toStdString() << "\n"
            << "Use --help para ver os comandos.\n";
  return 2;
}

QString DefaultCdcDir() {
  const QString here = QCoreApplication::applicationDirPath();
  for (const QString& candidate :
       {here + QStringLiteral("/../../data/cdc2000"), here + QStringLiteral("/../data/cdc2000"),
        QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000")})
    if (QFile::exists(candidate + QStringLiteral("/wtageinf.csv")))
      return QDir::cleanPath(candidate);
  return QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 2) return Usage(QStringLiteral("informe um comando."));
  const QString command = args[1];
  if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
      command == QLatin1String("help")) {
    std::cout << kHelp;
    return 0;
  }
  std::map<QString, QString> opt;
  const QStringList known{"--db",    "--ref",    "--dir",     "--percentiles",
                          "--table", "--format", "--decimal", "--out"};
  for (int i = 2; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--help")) {
      std::cout << kHelp;
      return 0;
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
  const QString dir = need("--dir").isEmpty() ? DefaultCdcDir() : need("--dir");

  try {
    if (command == QLatin1String("init")) {
      srv::InitDatabase(db);
      std::cout << "Esquema pronto em " << db.toStdString() << ".\n";
    } else if (command == QLatin1String("import-cdc")) {
      if (need("--ref").isEmpty()) return Usage(QStringLiteral("informe a referência com --ref."));
      QList<double> percentiles = trp::cdc::PublishedPercentiles();
      if (!need("--percentiles").isEmpty()) {
        percentiles.clear();
        for (const QString& p : need("--percentiles").split(u',', Qt::SkipEmptyParts)) {
          bool ok = false;
          const double v = p.trimmed().toDouble(&ok);
          if (!ok)
            return Usage(QStringLiteral("percentil inválido em --percentiles: '%1'.").arg(p));
          percentiles.append(v);
        }
      }
      const srv::ImportCounts n = srv::ImportCdc(db, need("--ref"), dir, percentiles);
      std::cout << "Importado na referência " << need("--ref").toStdString() << ": " << n.age
                << " linhas por idade, " << n.height << " por altura, " << n.nchs
                << " NCHS 2000.\n";
    } else if (command == QLatin1String("seed")) {
      srv::SeedSampleDatabase(db, dir);
      std::cout << "Base de exemplo pronta em " << db.toStdString() << ".\n";
    } else if (command == QLatin1String("export")) {
      if (need("--ref").isEmpty()) return Usage(QStringLiteral("informe a referência com --ref."));
      const QString table = need("--table");
      srv::TableId id;
      if (table == QLatin1String("age"))
        id = srv::TableId::Age;
      else if (table == QLatin1String("height"))
        id = srv::TableId::Height;
      else if (table == QLatin1String("nchs"))
        id = srv::TableId::Nchs;
      else
        return Usage(QStringLiteral("--table aceita age, height ou nchs."));
      if (!need("--format").isEmpty() && need("--format") != QLatin1String("csv"))
        return Usage(QStringLiteral("--format aceita somente csv."));
      const QString decimal =
          need("--decimal").isEmpty() ? QStringLiteral("comma") : need("--decimal");
      if (decimal != QLatin1String("comma") && decimal != QLatin1String("point"))
        return Usage(QStringLiteral("--decimal aceita comma ou point."));
      const std::string csv =
          srv::ExportCsv(db, need("--ref"), id, decimal == QLatin1String("comma"));
      if (need("--out").isEmpty()) {
        std::cout << csv;
      } else {
        QFile f(need("--out"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            f.write(csv.data(), qint64(csv.size())) != qint64(csv.size()))
          throw std::runtime_error(QStringLiteral("Não foi possível gravar '%1': %2")
                                       .arg(need("--out"), f.errorString())
                                       .toStdString());
      }
    } else {
      return Usage(QStringLiteral("comando desconhecido: '%1'.").arg(command));
    }
  } catch (const std::exception& e) {
    std::cerr << "tabrelpeso-admin: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
