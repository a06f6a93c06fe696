#pragma once
// The host's configuration: an INI file in the user's config folder, with
// command-line flags over it. With no server configured the host runs the
// application server itself (the embedded default).

#include <QString>
#include <QStringList>

namespace host {

struct HostConfig {
  QString serverHost;  // empty: embedded server on 127.0.0.1
  int serverPort = 0;
  bool serverTls = false;  // https: the server's certificate is verified
  QString caFile;          // authorities for it (PEM); empty: the system's
  QString token;     // empty with the embedded server: a fresh one per run
  QString database;  // local database: SQLite file or postgresql://...; empty: default file
  QString reportsDir;
  QString dataDir;       // where the embedded default keeps its SQLite file
  QString iniPath;       // the file the settings were read from
  int quitAfterMs = -1;  // >= 0: open the module, then quit after this long (checks)

  bool Embedded() const { return serverHost.isEmpty(); }
  // The SQLite file of the embedded default, in dataDir.
  QString DefaultDatabaseFile() const;
  // The local database in use: `database` or the default file.
  QString EffectiveDatabase() const;
};

struct ParsedArguments {
  HostConfig config;
  bool showHelp = false;
  QString helpText;
  QString error;  // Portuguese; empty when the arguments were fine
};

// A QCommandLineParser's help and error texts with its English words in
// Portuguese; `program` replaces "<executable_name>".
QString PortugueseHelp(QString text, const QString& program);
QString PortugueseParseError(QString text);

// The default INI path: <AppConfigLocation>/tabrelpeso.ini.
QString DefaultIniPath();
// The default data folder: AppDataLocation.
QString DefaultDataDir();

// Reads the INI file (missing file: all defaults), then TRP_TOKEN, then the
// flags in `args` (args[0] is the program). Never throws: bad flags or values give `error`.
ParsedArguments ParseHostArguments(const QStringList& args);

// Writes a commented template to `path` (mode 0600) when no file is there,
// so that a user finds the settings to edit. Returns false when it cannot be
// written.
bool WriteIniTemplate(const QString& path);

// A settings file that holds a token and that others may read is made the
// owner's only. Returns true when its mode was changed.
bool ProtectIniToken(const QString& path);

}  // namespace host
