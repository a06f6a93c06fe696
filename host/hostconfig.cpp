#include "host/hostconfig.h"

#include "framework/net/serveraddress.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace host {
namespace {

const char kHelpIntro[] =
    "Tabela de Relação Peso/Altura: manutenção e impressão das tabelas antropométricas.\n"
    "\n"
    "Sem servidor configurado, o programa inicia o servidor de aplicação embutido em\n"
    "127.0.0.1 (porta livre) sobre um arquivo SQLite na pasta de dados do usuário,\n"
    "criado na primeira execução com as referências de amostra: CDC 2000 (01),\n"
    "OMS 2006/2007 (02) e OMS peso por estatura (05).\n"
    "\n"
    "Configuração: arquivo INI (--config), seções [Servidor] WebURL, WebPort, Token,\n"
    "TLS, CA;\n"
    "[BancoLocal] Banco; [Relatorios] Pasta; [Dados] Pasta. As opções abaixo têm\n"
    "precedência sobre o arquivo.\n"
    "\n"
    "Credencial: --token-file, ou a variável de ambiente TRP_TOKEN, ou Token no\n"
    "arquivo INI (gravado só para o usuário, modo 0600). --token deixa a credencial\n"
    "visível a todos os usuários da máquina (ps): prefira --token-file.";

bool ParseServer(const QString& text, QString* hostOut, int* portOut, bool* tlsOut) {
  fw::ServerAddress a;
  if (!fw::ParseServerAddress(text, &a)) return false;
  *hostOut = a.host;
  *portOut = a.port;
  if (a.tls || text.trimmed().startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
    *tlsOut = a.tls;
  return true;
}

// A path under the user's home as ~/...: the help (and the man page made
// from it) is read by other users.
QString ShownPath(const QString& path) {
  const QString home = QDir::homePath();
  return path.startsWith(home + QLatin1Char('/')) ? QLatin1Char('~') + path.mid(home.size()) : path;
}

// The token of a file holding it alone: the first line that is not empty
// nor a comment.
QString ReadTokenFile(const QString& path, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    *error = QStringLiteral("Arquivo de credencial não encontrado ou ilegível: %1").arg(path);
    return {};
  }
  while (!file.atEnd()) {
    QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) return line;
  }
  *error = QStringLiteral("O arquivo de credencial %1 não contém nenhuma credencial.").arg(path);
  return {};
}

}  // namespace

QString PortugueseHelp(QString text, const QString& program) {
  // QCommandLineParser writes its headings in English.
  text.replace(QLatin1String("Usage:"), QStringLiteral("Uso:"))
      .replace(QLatin1String("Options:"), QStringLiteral("Opções:"))
      .replace(QLatin1String("[options]"), QStringLiteral("[opções]"))
      .replace(QLatin1String("<executable_name>"), program);
  if (!text.endsWith(QLatin1Char('\n'))) text += QLatin1Char('\n');
  return text;
}

QString PortugueseParseError(QString text) {
  return text.replace(QLatin1String("Unknown options"), QStringLiteral("Opções desconhecidas"))
      .replace(QLatin1String("Unknown option"), QStringLiteral("Opção desconhecida"))
      .replace(QLatin1String("Missing value after"), QStringLiteral("Falta o valor depois de"));
}

QString HostConfig::DefaultDatabaseFile() const {
  return QDir(dataDir.isEmpty() ? DefaultDataDir() : dataDir).filePath("tabrelpeso.db");
}

QString HostConfig::EffectiveDatabase() const {
  return database.isEmpty() ? DefaultDatabaseFile() : database;
}

QString DefaultIniPath() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
      .filePath("tabrelpeso.ini");
}

QString DefaultDataDir() {
  return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

ParsedArguments ParseHostArguments(const QStringList& args) {
  ParsedArguments out;
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(kHelpIntro));
  const QCommandLineOption help({"h", "help"}, "Mostra esta ajuda e sai.");
  const QCommandLineOption config(
      "config",
      QStringLiteral("Arquivo de configuração (padrão: %1).").arg(ShownPath(DefaultIniPath())),
      "ARQUIVO");
  const QCommandLineOption server("server",
                                  "Servidor de aplicação externo (WebURL:WebPort). Sem esta opção "
                                  "nem WebURL no arquivo, usa o servidor embutido.",
                                  "[https://]HOST:PORTA");
  const QCommandLineOption caFile("ca-file",
                                  "Autoridades de certificação (PEM) que assinam o certificado do "
                                  "servidor de aplicação em https (padrão: as do sistema).",
                                  "ARQUIVO");
  const QCommandLineOption token("token",
                                 "Credencial (token) do servidor de aplicação (visível em ps; "
                                 "prefira --token-file).",
                                 "TOKEN");
  const QCommandLineOption tokenFile("token-file",
                                     "Arquivo que contém a credencial (token) do servidor de "
                                     "aplicação, só ela (linhas vazias e # são ignoradas).",
                                     "ARQUIVO");
  const QCommandLineOption db("db",
                              "Banco de dados local: arquivo SQLite ou "
                              "postgresql://usuario@host:porta/banco. Com o servidor embutido, "
                              "é também o banco do servidor; com --server, é ignorado (os "
                              "dados vêm do servidor).",
                              "BANCO");
  const QCommandLineOption reports("reports", "Pasta dos relatórios.", "PASTA");
  const QCommandLineOption dataDir(
      "data-dir",
      QStringLiteral("Pasta de dados do servidor embutido (padrão: %1).")
          .arg(ShownPath(DefaultDataDir())),
      "PASTA");
  const QCommandLineOption quitAfter("quit-after",
                                     "Abre o módulo e encerra após MS milissegundos "
                                     "(verificação da instalação).",
                                     "MS");
  parser.addOptions(
      {help, config, server, caFile, token, tokenFile, db, reports, dataDir, quitAfter});
  out.helpText = PortugueseHelp(parser.helpText(), QStringLiteral("tabrelpeso"));

  if (!parser.parse(args)) {
    out.error = PortugueseParseError(parser.errorText());
    return out;
  }
  if (parser.isSet(help)) {
    out.showHelp = true;
    return out;
  }
  if (!parser.positionalArguments().isEmpty()) {
    out.error =
        QStringLiteral("Argumento não reconhecido: %1").arg(parser.positionalArguments().first());
    return out;
  }

  HostConfig& c = out.config;
  c.iniPath = parser.isSet(config) ? parser.value(config) : DefaultIniPath();
  if (parser.isSet(config) && !QFileInfo::exists(c.iniPath)) {
    out.error = QStringLiteral("Arquivo de configuração não encontrado: %1").arg(c.iniPath);
    return out;
  }
  {
    const QSettings ini(c.iniPath, QSettings::IniFormat);
    c.serverHost = ini.value("Servidor/WebURL").toString().trimmed();
    const QString tls = ini.value("Servidor/TLS").toString().trimmed().toLower();
    c.serverTls =
        tls == QLatin1String("1") || tls == QLatin1String("true") || tls == QLatin1String("sim");
    fw::SplitScheme(&c.serverHost, &c.serverTls);
    c.caFile = ini.value("Servidor/CA").toString().trimmed();
    const QString port = ini.value("Servidor/WebPort").toString().trimmed();
    if (!port.isEmpty()) {
      bool ok = false;
      c.serverPort = port.toInt(&ok);
      if (!ok || c.serverPort <= 0 || c.serverPort > 65535) {
        out.error =
            QStringLiteral("Porta inválida em %1 (Servidor/WebPort): %2").arg(c.iniPath, port);
        return out;
      }
    }
    c.token = ini.value("Servidor/Token").toString().trimmed();
    c.database = ini.value("BancoLocal/Banco").toString().trimmed();
    c.reportsDir = ini.value("Relatorios/Pasta").toString().trimmed();
    c.dataDir = ini.value("Dados/Pasta").toString().trimmed();
  }
  if (!c.serverHost.isEmpty() && c.serverPort == 0) {
    out.error = QStringLiteral("O arquivo %1 indica o servidor %2 sem a porta (Servidor/WebPort).")
                    .arg(c.iniPath, c.serverHost);
    return out;
  }

  if (parser.isSet(server)) {
    if (!ParseServer(parser.value(server), &c.serverHost, &c.serverPort, &c.serverTls)) {
      out.error =
          QStringLiteral("Servidor inválido: '%1'. Use [https://]HOST:PORTA, por exemplo 10.0.0.5:8211.")
              .arg(parser.value(server));
      return out;
    }
  }
  if (parser.isSet(caFile)) c.caFile = parser.value(caFile);
  if (!c.caFile.isEmpty() && !QFileInfo(c.caFile).isReadable()) {
    out.error =
        QStringLiteral("Arquivo de autoridades de certificação não encontrado ou ilegível: %1")
            .arg(c.caFile);
    return out;
  }
  // The environment over the file, the options over both.
  if (qEnvironmentVariableIsSet("TRP_TOKEN")) c.token = qEnvironmentVariable("TRP_TOKEN").trimmed();
  if (parser.isSet(tokenFile)) {
    c.token = ReadTokenFile(parser.value(tokenFile), &out.error);
    if (!out.error.isEmpty()) return out;
  }
  if (parser.isSet(token)) c.token = parser.value(token);
  if (parser.isSet(db)) c.database = parser.value(db).trimmed();
  if (parser.isSet(reports)) c.reportsDir = parser.value(reports);
  if (parser.isSet(dataDir)) c.dataDir = parser.value(dataDir);
  if (parser.isSet(quitAfter)) {
    bool ok = false;
    c.quitAfterMs = parser.value(quitAfter).toInt(&ok);
    if (!ok || c.quitAfterMs < 0) {
      out.error =
          QStringLiteral("Valor inválido para --quit-after: %1").arg(parser.value(quitAfter));
      return out;
    }
  }
  if (c.dataDir.isEmpty()) c.dataDir = DefaultDataDir();
  if (!c.Embedded() && c.token.isEmpty()) {
    out.error = QStringLiteral(
                    "O servidor %1:%2 foi configurado sem credencial: informe --token-file, "
                    "TRP_TOKEN ou Servidor/Token no arquivo %3.")
                    .arg(c.serverHost)
                    .arg(c.serverPort)
                    .arg(c.iniPath);
  }
  return out;
}

bool WriteIniTemplate(const QString& path) {
  if (QFileInfo::exists(path)) return true;
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QFile file(path);
  // Owner only from the start: the file invites the token.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::NewOnly,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner))
    return false;
  file.write(
      "; Tabela de Relação Peso/Altura: configuração do usuário.\n"
      "; Sem WebURL, o programa usa o servidor de aplicação embutido.\n"
      "[Servidor]\n"
      "; WebURL=10.0.0.5\n"
      "; WebPort=8211\n"
      "; TLS=1 (ou WebURL=https://10.0.0.5): conexão segura, certificado verificado\n"
      "; CA=/caminho/da/autoridade-do-hospital.pem\n"
      "; Token=...\n"
      "\n"
      "[BancoLocal]\n"
      "; Banco=postgresql://usuario@servidor:5432/tabrelpeso\n"
      "\n"
      "[Relatorios]\n"
      "; Pasta=/caminho/dos/relatorios\n"
      "\n"
      "[Dados]\n"
      "; Pasta=/caminho/da/pasta/de/dados\n");
  return file.flush();
}

bool ProtectIniToken(const QString& path) {
  const QSettings ini(path, QSettings::IniFormat);
  if (ini.value("Servidor/Token").toString().trimmed().isEmpty()) return false;
  QFile file(path);
  const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                      QFileDevice::WriteOther;
  if (!(file.permissions() & others)) return false;
  return file.setPermissions(file.permissions() & ~others);
}

}  // namespace host
