// The host's parts on their own: configuration, the master-table cache and
// the module loader.

#include "framework/data/errors.h"
#include "framework/sql/localdb.h"
#include "host/hostconfig.h"
#include "host/localcache.h"
#include "host/moduleloader.h"
#include "host/translations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

class QtApp : public ::testing::Environment {
 public:
  void SetUp() override {
    app_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setApplicationName("tabrelpeso");
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "host_core";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
const auto* const kApp = ::testing::AddGlobalTestEnvironment(new QtApp);

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
  QFile file(dir.filePath(name));
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text);
  return file.fileName();
}

TEST(HostConfig, FlagsOverTheIniFile) {
  QTemporaryDir dir;
  const QString empty = WriteFile(dir, "vazio.ini", "");
  const QString external = WriteFile(dir, "externo.ini",
                                     "[Servidor]\nWebURL=10.0.0.5\nWebPort=8300\nToken=abc\n"
                                     "[BancoLocal]\nBanco=postgresql://trp@db1/tab\n"
                                     "[Relatorios]\nPasta=/srv/rel\n");
  const struct {
    QStringList args;
    QString host;
    int port;
    QString token;
    QString database;
    QString reports;
  } cases[] = {
      {{"--config", empty}, "", 0, "", "", ""},
      {{"--config", external}, "10.0.0.5", 8300, "abc", "postgresql://trp@db1/tab", "/srv/rel"},
      {{"--config", external, "--server", "app2:9000", "--token", "xyz"},
       "app2",
       9000,
       "xyz",
       "postgresql://trp@db1/tab",
       "/srv/rel"},
      {{"--config", empty, "--db", "/tmp/local.db", "--reports", "/tmp/rel"},
       "",
       0,
       "",
       "/tmp/local.db",
       "/tmp/rel"},
      {{"--config", empty, "--server", "[::1]:8211", "--token", "t"}, "[::1]", 8211, "t", "", ""},
  };
  for (const auto& c : cases) {
    const host::ParsedArguments parsed =
        host::ParseHostArguments(QStringList{"tabrelpeso"} + c.args);
    const QString what = c.args.join(' ');
    ASSERT_TRUE(parsed.error.isEmpty()) << what.toStdString() << ": " << parsed.error.toStdString();
    EXPECT_EQ(parsed.config.serverHost, c.host) << what.toStdString();
    EXPECT_EQ(parsed.config.serverPort, c.port) << what.toStdString();
    EXPECT_EQ(parsed.config.token, c.token) << what.toStdString();
    EXPECT_EQ(parsed.config.database, c.database) << what.toStdString();
    EXPECT_EQ(parsed.config.reportsDir, c.reports) << what.toStdString();
    EXPECT_EQ(parsed.config.Embedded(), c.host.isEmpty()) << what.toStdString();
  }

  const host::ParsedArguments data = host::ParseHostArguments(
      {"tabrelpeso", "--config", empty, "--data-dir", dir.filePath("dados")});
  EXPECT_EQ(data.config.EffectiveDatabase(), dir.filePath("dados/tabrelpeso.db"));
  EXPECT_EQ(data.config.quitAfterMs, -1);
}

TEST(HostConfig, BadSettingsAreExplained) {
  QTemporaryDir dir;
  const QString noPort = WriteFile(dir, "semporta.ini", "[Servidor]\nWebURL=10.0.0.5\n");
  const QString badPort = WriteFile(dir, "porta.ini", "[Servidor]\nWebURL=h\nWebPort=abc\n");
  const QString empty = WriteFile(dir, "vazio.ini", "");
  const struct {
    QStringList args;
    const char* says;
  } cases[] = {
      {{"--config", noPort}, "sem a porta"},
      {{"--config", badPort}, "Porta inválida"},
      {{"--config", empty, "--server", "semporta"}, "Servidor inválido"},
      {{"--config", empty, "--server", "h:70000"}, "Servidor inválido"},
      {{"--config", empty, "--server", "h:8211"}, "sem credencial"},
      {{"--config", empty, "--quit-after", "logo"}, "--quit-after"},
      {{"--config", dir.filePath("naoexiste.ini")}, "não encontrado"},
      {{"--config", empty, "sobrando"}, "sobrando"},
      {{"--opcao-desconhecida"}, "opcao-desconhecida"},
  };
  for (const auto& c : cases) {
    const auto parsed = host::ParseHostArguments(QStringList{"tabrelpeso"} + c.args);
    EXPECT_TRUE(parsed.error.contains(QString::fromUtf8(c.says)))
        << c.args.join(' ').toStdString() << " -> " << parsed.error.toStdString();
  }
}

TEST(HostConfig, HttpsAddressesAndTheirAuthority) {
  QTemporaryDir dir;
  const QString ca = WriteFile(dir, "ca.pem", "-----BEGIN CERTIFICATE-----\n");
  const QString byUrl =
      WriteFile(dir, "url.ini", "[Servidor]\nWebURL=https://10.0.0.5\nWebPort=8443\nToken=a\n");
  const QString bySetting = WriteFile(
      dir, "tls.ini",
      ("[Servidor]\nWebURL=10.0.0.5\nWebPort=8443\nToken=a\nTLS=1\nCA=" + ca + "\n").toUtf8());
  const struct {
    QStringList args;
    QString host;
    bool tls;
    QString caFile;
  } cases[] = {
      {{"--config", byUrl}, "10.0.0.5", true, ""},
      {{"--config", bySetting}, "10.0.0.5", true, ca},
      {{"--config", bySetting, "--server", "http://app2:9000"}, "app2", false, ca},
      {{"--config", byUrl, "--server", "https://app2:9443", "--ca-file", ca}, "app2", true, ca},
      {{"--config", byUrl, "--server", "app2:9000"}, "app2", true, ""},
  };
  for (const auto& c : cases) {
    const auto parsed = host::ParseHostArguments(QStringList{"tabrelpeso"} + c.args);
    const std::string what = c.args.join(' ').toStdString();
    ASSERT_TRUE(parsed.error.isEmpty()) << what << ": " << parsed.error.toStdString();
    EXPECT_EQ(parsed.config.serverHost, c.host) << what;
    EXPECT_EQ(parsed.config.serverTls, c.tls) << what;
    EXPECT_EQ(parsed.config.caFile, c.caFile) << what;
  }
  const auto missing = host::ParseHostArguments(
      {"tabrelpeso", "--config", byUrl, "--ca-file", dir.filePath("nada.pem")});
  EXPECT_TRUE(missing.error.contains("autoridades de certificação")) << missing.error.toStdString();
}

TEST(HostConfig, HelpNamesEveryOption) {
  const auto parsed = host::ParseHostArguments({"tabrelpeso", "--help"});
  EXPECT_TRUE(parsed.showHelp);
  for (const char* option : {"--server", "--token", "--db", "--reports", "--data-dir", "--config",
                             "WebURL", "WebPort", "embutido"}) {
    EXPECT_TRUE(parsed.helpText.contains(QString::fromLatin1(option))) << option;
  }
}

TEST(HostConfig, IniTemplateIsWrittenOnceAndReadsAsEmbedded) {
  QTemporaryDir dir;
  const QString path = dir.filePath("conf/tabrelpeso.ini");
  ASSERT_TRUE(host::WriteIniTemplate(path));
  const auto parsed = host::ParseHostArguments({"tabrelpeso", "--config", path});
  EXPECT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
  EXPECT_TRUE(parsed.config.Embedded());
  // A user's own file is never overwritten.
  WriteFile(dir, "conf/tabrelpeso.ini", "[Servidor]\nWebURL=x\nWebPort=1\nToken=t\n");
  ASSERT_TRUE(host::WriteIniTemplate(path));
  EXPECT_EQ(host::ParseHostArguments({"tabrelpeso", "--config", path}).config.serverHost, "x");
}

// The token never needs the command line: a file of its own, or the
// environment; the options over the environment over the settings file.
TEST(HostConfig, TokenFromAFileOrTheEnvironment) {
  QTemporaryDir dir;
  const QString ini =
      WriteFile(dir, "servidor.ini", "[Servidor]\nWebURL=10.0.0.5\nWebPort=8300\nToken=doini\n");
  const QString file = WriteFile(dir, "token", "# credencial do admin\n\n  doarquivo  \n");
  qunsetenv("TRP_TOKEN");
  EXPECT_EQ(host::ParseHostArguments({"tabrelpeso", "--config", ini}).config.token, "doini");
  qputenv("TRP_TOKEN", "doambiente");
  EXPECT_EQ(host::ParseHostArguments({"tabrelpeso", "--config", ini}).config.token, "doambiente");
  EXPECT_EQ(
      host::ParseHostArguments({"tabrelpeso", "--config", ini, "--token-file", file}).config.token,
      "doarquivo");
  EXPECT_EQ(host::ParseHostArguments(
                {"tabrelpeso", "--config", ini, "--token-file", file, "--token", "daopcao"})
                .config.token,
            "daopcao");
  const QString empty = WriteFile(dir, "vazio.ini", "");
  const auto fromEnv =
      host::ParseHostArguments({"tabrelpeso", "--config", empty, "--server", "h:8211"});
  EXPECT_TRUE(fromEnv.error.isEmpty()) << fromEnv.error.toStdString();
  EXPECT_EQ(fromEnv.config.token, "doambiente");
  qunsetenv("TRP_TOKEN");
}

TEST(HostConfig, AMissingOrEmptyTokenFileIsRefused) {
  QTemporaryDir dir;
  const QString empty = WriteFile(dir, "vazio.ini", "");
  const QString blank = WriteFile(dir, "token", "# nada aqui\n\n");
  const struct {
    QString file;
    const char* says;
  } cases[] = {{dir.filePath("naoexiste"), "não encontrado ou ilegível"},
               {blank, "não contém nenhuma credencial"}};
  for (const auto& c : cases) {
    const auto parsed = host::ParseHostArguments(
        {"tabrelpeso", "--config", empty, "--server", "h:8211", "--token-file", c.file});
    EXPECT_TRUE(parsed.error.contains(QString::fromUtf8(c.says))) << parsed.error.toStdString();
  }
}

TEST(HostConfig, SettingsThatHoldATokenAreTheOwnersOnly) {
  QTemporaryDir dir;
  const QString path = dir.filePath("conf/tabrelpeso.ini");
  ASSERT_TRUE(host::WriteIniTemplate(path));
  const auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther;
  EXPECT_FALSE(QFile::permissions(path) & others);
  EXPECT_FALSE(host::ProtectIniToken(path));  // the template holds no token

  const QString withToken = WriteFile(dir, "token.ini", "[Servidor]\nToken=segredo\n");
  ASSERT_TRUE(QFile::setPermissions(withToken, QFile::permissions(withToken) | others));
  EXPECT_TRUE(host::ProtectIniToken(withToken));
  EXPECT_FALSE(QFile::permissions(withToken) & others);
  EXPECT_TRUE(QFile::permissions(withToken) & QFileDevice::ReadOwner);

  const QString without = WriteFile(dir, "sem.ini", "[Servidor]\nWebURL=x\n");
  ASSERT_TRUE(QFile::setPermissions(without, QFile::permissions(without) | others));
  EXPECT_FALSE(host::ProtectIniToken(without));
  EXPECT_TRUE(QFile::permissions(without) & QFileDevice::ReadOther);
}

TEST(HostConfig, HelpShowsDefaultsUnderTheHomeAsTilde) {
  const auto parsed = host::ParseHostArguments({"tabrelpeso", "--help"});
  EXPECT_TRUE(parsed.helpText.contains("--token-file"));
  EXPECT_TRUE(parsed.helpText.contains("TRP_TOKEN"));
  EXPECT_FALSE(parsed.helpText.contains(QDir::homePath() + '/')) << parsed.helpText.toStdString();
}

class Cache : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = fw::OpenLocalDatabase(dir_.filePath("cache.db"), "cache_test");
    Exec("CREATE TABLE REFEBIBL (CDREFEBIBL VARCHAR(2) PRIMARY KEY, NMREFEBIBL VARCHAR(60))");
    Exec("CREATE TABLE PERCENTIL (CDPERCENTIL VARCHAR(3) PRIMARY KEY, NMPERCENTIL VARCHAR(30))");
    Exec("INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES ('02', 'OMS 2006'), ('01', 'CDC 2000')");
    Exec("INSERT INTO PERCENTIL VALUES ('050', 'Percentil 50')");
  }
  void TearDown() override {
    db_ = QSqlDatabase();
    fw::CloseLocalDatabase("cache_test");
  }
  void Exec(const QString& sql) { ASSERT_TRUE(QSqlQuery(db_).exec(sql)) << sql.toStdString(); }

  QTemporaryDir dir_;
  QSqlDatabase db_;
};

TEST_F(Cache, RowTablesRefreshBothMastersAndUnknownNamesNothing) {
  const struct {
    const char* table;
    QStringList dependents;
  } cases[] = {
      {"PESALTIDADE", {"REFEBIBL", "PERCENTIL"}},
      {"PESOALTU", {"REFEBIBL", "PERCENTIL"}},
      {"PEALNCHS2000", {"REFEBIBL", "PERCENTIL"}},
      {"refebibl", {"REFEBIBL"}},
      {"PERCENTIL", {"PERCENTIL"}},
      {"OUTRATABELA", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(host::LocalCache::DependentsOf(c.table), c.dependents) << c.table;
  }
}

TEST_F(Cache, LoadsInCodeOrderAndRefreshesWhatWasNamed) {
  host::LocalCache cache("cache_test");
  cache.Load();
  EXPECT_EQ(cache.Table("REFEBIBL"),
            (host::LocalCache::Rows{{"01", "CDC 2000"}, {"02", "OMS 2006"}}));
  EXPECT_EQ(cache.Table("PERCENTIL").size(), 1);

  Exec("INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES ('03', 'NCHS 1977')");
  Exec("INSERT INTO PERCENTIL VALUES ('095', 'Percentil 95')");
  cache.Refresh({"OUTRATABELA"});
  EXPECT_EQ(cache.Table("REFEBIBL").size(), 2) << "an unknown name reloads nothing";
  EXPECT_EQ(cache.Changes("OUTRATABELA"), 1);

  cache.Refresh({"PESALTIDADE"});
  EXPECT_EQ(cache.Table("REFEBIBL").size(), 3);
  EXPECT_EQ(cache.Table("PERCENTIL").size(), 2);
  EXPECT_EQ(cache.Loads("REFEBIBL"), 2);
  EXPECT_EQ(cache.Changes("PESALTIDADE"), 1);
}

TEST_F(Cache, UnreadableDatabaseKeepsThePreviousCopy) {
  host::LocalCache cache("cache_test");
  cache.Load();
  Exec("DROP TABLE PERCENTIL");
  EXPECT_THROW(cache.Refresh({"PERCENTIL"}), fw::Error);
  EXPECT_EQ(cache.Table("PERCENTIL").size(), 1);

  host::LocalCache nowhere("conexao_inexistente");
  EXPECT_THROW(nowhere.Load(), fw::Error);
}

QString BuildLib(const QString& name) {
  return QDir(qEnvironmentVariable("TRP_BUILD_DIR") + "/lib").filePath(name);
}

TEST(ModuleLoading, PrefersTheRealModuleOverThePlaceholder) {
  QTemporaryDir dir;
  const QString placeholder = BuildLib("libtrp_placeholder_module.so");
  ASSERT_TRUE(QFile::exists(placeholder)) << placeholder.toStdString();
  ASSERT_TRUE(QFile::copy(placeholder, dir.filePath("libtrp_placeholder_module.so")));

  host::ModuleLoader onlyPlaceholder({dir.path()});
  onlyPlaceholder.Load();
  EXPECT_TRUE(onlyPlaceholder.Loaded());
  EXPECT_TRUE(onlyPlaceholder.IsPlaceholder());

  // A library under the real module's name wins over the placeholder.
  ASSERT_TRUE(QFile::copy(placeholder, dir.filePath("libtabrelpeso_module.so")));
  host::ModuleLoader both({dir.path()});
  both.Load();
  EXPECT_EQ(both.LibraryPath(), dir.filePath("libtabrelpeso_module.so"));
  EXPECT_FALSE(both.IsPlaceholder());
}

TEST(ModuleLoading, MissingOrWrongLibrariesAreExplained) {
  QTemporaryDir empty;
  host::ModuleLoader none({empty.path()});
  try {
    none.Load();
    ADD_FAILURE() << "loaded a module from an empty folder";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains(empty.path())) << e.message().toStdString();
  }
  EXPECT_FALSE(none.Loaded());

  QTemporaryDir wrong;
  ASSERT_TRUE(
      QFile::copy(qEnvironmentVariable("TRP_BUILD_DIR") + "/tests/libhost_noentry_library.so",
                  wrong.filePath("libtabrelpeso_module.so")));
  host::ModuleLoader noEntry({wrong.path()});
  try {
    noEntry.Load();
    ADD_FAILURE() << "loaded a library without the entry";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains("CriaTabRelPeso")) << e.message().toStdString();
  }

  QTemporaryDir broken;
  {
    QFile junk(broken.filePath("libtabrelpeso_module.so"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("isto não é uma biblioteca");
  }
  host::ModuleLoader notALibrary({broken.path()});
  EXPECT_THROW(notALibrary.Load(), fw::Error);
}

// Qt's own dialogs speak Portuguese once the host installed the catalogues
// (the package qt6-translations-l10n).
TEST(QtTranslations, StandardDialogsSpeakPortuguese) {
  QTranslator* translator = host::InstallQtTranslations(*QCoreApplication::instance());
  ASSERT_NE(translator, nullptr) << "qtbase_pt_BR.qm não encontrado";
  struct Case {
    QDialogButtonBox::StandardButton button;
    const char* text;
  };
  const Case cases[] = {{QDialogButtonBox::Cancel, "Cancelar"},
                        {QDialogButtonBox::Save, "Salvar"},
                        {QDialogButtonBox::Yes, "Sim"}};
  for (const Case& c : cases) {
    QDialogButtonBox box(c.button);
    EXPECT_EQ(box.button(c.button)->text().remove(QLatin1Char('&')), QString::fromUtf8(c.text));
  }
  // Qt's own file dialog (the one "Salvar como" opens without a desktop).
  QFileDialog files(nullptr, QStringLiteral("Salvar relatório como"));
  files.setOption(QFileDialog::DontUseNativeDialog);
  files.setAcceptMode(QFileDialog::AcceptSave);
  QStringList labels;
  for (const QLabel* label : files.findChildren<QLabel*>()) labels << label->text();
  EXPECT_TRUE(labels.join(QLatin1Char('|')).contains(QStringLiteral("Nome do arquivo")))
      << labels.join(QLatin1Char('|')).toStdString();
  QCoreApplication::removeTranslator(translator);
  delete translator;
}

}  // namespace
