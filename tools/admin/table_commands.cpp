// tabrelpeso-admin import-table and export: a reference's tables from and to
// CSV, XLSX and ODS files.

#include "tools/admin/table_commands.h"

#include "framework/data/format.h"
#include "import/sheet.h"
#include "import/table_export.h"
#include "import/table_import.h"
#include "server/admin.h"
#include "server/audit_log.h"
#include "server/schema.h"
#include "server/service.h"
#include "server/table_import.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <iostream>
#include <stdexcept>

namespace {

using namespace trp;

[[noreturn]] void Fail(const QString& message) { throw std::runtime_error(message.toStdString()); }

QString Opt(const std::map<QString, QString>& o, const char* name) {
  const auto it = o.find(QString::fromLatin1(name));
  return it == o.end() ? QString() : it->second;
}

void Say(const QString& text) { std::cout << text.toStdString() << "\n"; }

QString Line(const srv::TableDef& t, const srv::Row& row) {
  QStringList cells;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const srv::Value& v = row[i];
    if (std::holds_alternative<std::string>(v))
      cells << QString::fromStdString(std::get<std::string>(v));
    else if (std::holds_alternative<double>(v))
      cells << sheet::NumberText(std::get<double>(v), true);
    else
      cells << QString();
  }
  return cells.join(u';');
}

QString TableOf(tableimport::Table t) {
  return t == tableimport::Table::Age      ? QStringLiteral("Idade/Peso/Altura")
         : t == tableimport::Table::Height ? QStringLiteral("Peso/Altura")
                                           : QStringLiteral("Peso/Altura (NCHS 2000)");
}

}  // namespace

int RunImportTable(const std::map<QString, QString>& o, bool dryRun,
                   const QList<double>& percentiles) {
  const QString db = Opt(o, "--db"), in = Opt(o, "--in");
  QString ref = Opt(o, "--ref");
  if (ref.isEmpty() || in.isEmpty()) {
    std::cerr << "tabrelpeso-admin: informe --ref e --in.\n";
    return 2;
  }
  tableimport::Options options;
  options.sheet = Opt(o, "--sheet");
  options.map = Opt(o, "--columns");
  options.percentiles = percentiles;
  if (!Opt(o, "--table").isEmpty()) {
    options.table = tableimport::TableFromName(Opt(o, "--table"));
    if (!options.table) {
      std::cerr << "tabrelpeso-admin: --table aceita age, height ou nchs.\n";
      return 2;
    }
  }
  if (!Opt(o, "--key").isEmpty()) {
    options.key = tableimport::KeyFromName(Opt(o, "--key"));
    if (!options.key) {
      std::cerr << "tabrelpeso-admin: --key aceita anos-meses, meses, dias ou cm.\n";
      return 2;
    }
  }
  try {
    const sheet::Workbook book = sheet::ReadWorkbook(in);
    std::vector<std::pair<QString, tableimport::Mapping>> mappings;
    tableimport::Result r = tableimport::ReadBook(book, options, &mappings);
    const QString file = QFileInfo(in).fileName();
    for (const auto& [name, m] : mappings)
      Say(QStringLiteral("Planilha %1: cabeçalho na linha %2; colunas: %3")
              .arg(name)
              .arg(m.headerLine)
              .arg(m.Text({})));
    if (!r.errors.empty()) {
      for (const tableimport::Note& n : r.errors)
        std::cerr << QStringLiteral("%1%2: %3")
                         .arg(file,
                              n.Where().isEmpty() ? QString() : QStringLiteral(", ") + n.Where(),
                              n.text)
                         .toStdString()
                  << "\n";
      std::cerr << "Nada foi gravado.\n";
      return 1;
    }
    const QStringList messages = tableimport::CheckPlausibility(r);

    auto conn = srv::OpenDb(db);
    srv::Migrate(*conn);
    srv::TableImport request;
    request.reference = fw::Ajusta(ref, 2).toStdString();
    if (!srv::FindReference(*conn, request.reference)) {
      const std::optional<tableimport::Citation> c = tableimport::ReadCitation(book);
      const QString name = !Opt(o, "--name").isEmpty() ? Opt(o, "--name") : c ? c->name : QString();
      if (name.isEmpty())
        Fail(QStringLiteral("Referência '%1' não cadastrada: dê o nome com --name (e --citation, "
                            "--source, --licence) para criá-la. Nada foi gravado.")
                 .arg(ref));
      auto text = [&](const char* option, QString fromFile) {
        return !Opt(o, option).isEmpty() ? Opt(o, option) : fromFile;
      };
      request.newReference =
          srv::MakeReference(ref, name, text("--citation", c ? c->citation : QString()),
                             text("--source", c ? c->source : QString()),
                             text("--licence", c ? c->licence : QString()));
    }
    std::vector<tableimport::KnownPercentile> known;
    for (const srv::PercentileEntry& p : srv::ListPercentiles(*conn))
      known.push_back({QString::fromStdString(p.code), QString::fromStdString(p.name), p.value});
    std::vector<tableimport::NewPercentile> created;
    const std::map<QString, QString> codes =
        tableimport::ResolvePercentiles(r.percentiles, known, created);
    tableimport::Recode(r.rows, codes);
    for (const auto& p : created)
      request.newPercentiles.push_back(srv::MakePercentile(p.code, p.name, p.value));
    srv::AddGrowthRows(request, r.rows);
    request.lmsOrigin = r.lmsOrigin.toStdString();

    if (dryRun) {
      for (const srv::TableDef* t : srv::AllTables()) {
        if (request.rows[int(t->id)].empty()) continue;
        Say(QStringLiteral("Tabela %1 (%2 linha(s)):")
                .arg(QString::fromLatin1(t->label))
                .arg(request.rows[int(t->id)].size()));
        QStringList header;
        for (const srv::ColumnDef& c : t->columns) header << QString::fromLatin1(c.name);
        Say(header.join(u';'));
        for (const srv::Row& row : request.rows[int(t->id)]) Say(Line(*t, row));
      }
    }
    for (const auto& p : created)
      Say(QStringLiteral("Percentil novo: %1 - %2").arg(p.code, p.name));
    for (const tableimport::Finding& f : r.findings)
      Say(QStringLiteral("Verificação: %1, linha %2, coluna %3 (%4, percentil %5): %6")
              .arg(file)
              .arg(f.line)
              .arg(sheet::ColumnName(f.fileColumn), f.column, codes.at(f.percentile), f.text));
    for (const QString& m : messages) Say(QStringLiteral("Verificação: ") + m);
    if (dryRun) {
      std::vector<std::string> percs[3];
      for (const srv::TableDef* t : srv::AllTables())
        for (const srv::Row& row : request.rows[int(t->id)]) {
          const std::string& p = std::get<std::string>(row[size_t(t->columnIndex("CDPERCENTIL"))]);
          if (std::find(percs[int(t->id)].begin(), percs[int(t->id)].end(), p) ==
              percs[int(t->id)].end())
            percs[int(t->id)].push_back(p);
        }
      Say(QStringLiteral("Prévia: %1 linha(s) por idade, %2 por altura, %3 NCHS 2000, %4 ponto(s) "
                         "de L, M e S; %5 linha(s) existente(s) seriam substituídas. Nada foi "
                         "gravado (--dry-run).")
              .arg(request.rows[0].size())
              .arg(request.rows[1].size())
              .arg(request.rows[2].size())
              .arg(request.lms.size())
              .arg(srv::CountReplaced(*conn, request.reference, percs)));
      return 0;
    }
    const srv::AuditCall call;
    srv::AuditCall::SetGroup(QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString());
    srv::TableImportCounts n;
    try {
      srv::Transaction tx(*conn, true);
      n = srv::WriteTableImport(*conn, "tabrelpeso-admin", "import-table", request);
      tx.commit();
    } catch (const srv::RpcError& e) {
      Fail(e.message());
    } catch (const srv::DbError& e) {
      Fail(QStringLiteral("Falha ao gravar a importação; nada foi gravado. Detalhe: %1")
               .arg(QString::fromUtf8(e.what())));
    }
    Say(QStringLiteral("Importado na referência %1: %2 linha(s) (%3 substituída(s)), %4 ponto(s) "
                       "de L, M e S; tabelas: %5.")
            .arg(QString::fromStdString(request.reference))
            .arg(n.inserted)
            .arg(n.replaced)
            .arg(n.lms)
            .arg([&] {
              QStringList t;
              if (!request.rows[0].empty()) t << TableOf(tableimport::Table::Age);
              if (!request.rows[1].empty()) t << TableOf(tableimport::Table::Height);
              if (!request.rows[2].empty()) t << TableOf(tableimport::Table::Nchs);
              return t.join(QStringLiteral(", "));
            }()));
  } catch (const srv::RpcError& e) {
    std::cerr << "tabrelpeso-admin: " << e.message().toStdString() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "tabrelpeso-admin: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

int RunExport(const std::map<QString, QString>& o) {
  const QString table = Opt(o, "--table"), out = Opt(o, "--out");
  const QString format =
      Opt(o, "--format").isEmpty()
          ? (out.isEmpty() ? QStringLiteral("csv") : QFileInfo(out).suffix().toLower())
          : Opt(o, "--format");
  std::vector<srv::TableId> tables;
  if (table == u"age")
    tables = {srv::TableId::Age};
  else if (table == u"height")
    tables = {srv::TableId::Height};
  else if (table == u"nchs")
    tables = {srv::TableId::Nchs};
  else if (table == u"all")
    tables = {srv::TableId::Age, srv::TableId::Height, srv::TableId::Nchs};
  else {
    std::cerr << "tabrelpeso-admin: --table aceita age, height, nchs ou all.\n";
    return 2;
  }
  if (format != u"csv" && format != u"xlsx" && format != u"ods") {
    std::cerr << "tabrelpeso-admin: --format aceita csv, xlsx ou ods.\n";
    return 2;
  }
  if (format == u"csv" && tables.size() > 1) {
    std::cerr << "tabrelpeso-admin: --table all grava as três tabelas numa planilha: use --format "
                 "xlsx ou ods (em CSV, uma tabela por arquivo).\n";
    return 2;
  }
  if (format != u"csv" && out.isEmpty()) {
    std::cerr << "tabrelpeso-admin: --format " << format.toStdString() << " exige --out ARQUIVO.\n";
    return 2;
  }
  const QString decimal =
      Opt(o, "--decimal").isEmpty() ? QStringLiteral("comma") : Opt(o, "--decimal");
  if (decimal != u"comma" && decimal != u"point") {
    std::cerr << "tabrelpeso-admin: --decimal aceita comma ou point.\n";
    return 2;
  }
  try {
    if (format == u"csv") {
      const std::string csv = srv::ExportCsv(Opt(o, "--db"), Opt(o, "--ref"), tables.front(),
                                             decimal == u"comma", Opt(o, "--perc"));
      if (out.isEmpty()) {
        std::cout << csv;
        return 0;
      }
      QFile f(out);
      if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
          f.write(csv.data(), qint64(csv.size())) != qint64(csv.size()))
        Fail(QStringLiteral("Não foi possível gravar '%1': %2").arg(out, f.errorString()));
      return 0;
    }
    const srv::ExportedReference r =
        srv::ReadForExport(Opt(o, "--db"), Opt(o, "--ref"), tables, Opt(o, "--perc"));
    sheet::Workbook book = tableexport::Build(r.reference, r.tables, r.percentiles, r.lms);
    if (format == u"xlsx")
      sheet::WriteXlsx(book, out);
    else
      sheet::WriteOds(book, out);
  } catch (const std::exception& e) {
    std::cerr << "tabrelpeso-admin: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
