// tabrelpeso-admin reference|percentile list|add|edit|remove: the master
// tables from the command line, through the same checks and audit as the
// server's methods.

#include "tools/admin/master_commands.h"

#include "server/master_data.h"
#include "server/schema.h"
#include "server/service.h"

#include <QMap>

#include <iostream>

namespace {

using srv::PercentileEntry;
using srv::ReferenceEntry;

const char* const kUser = "tabrelpeso-admin";

struct Options {
  QMap<QString, QString> values;
  bool has(const char* name) const { return values.contains(QLatin1String(name)); }
  QString get(const char* name) const { return values.value(QLatin1String(name)); }
};

int Refused(const QString& message) {
  std::cerr << "tabrelpeso-admin: " << message.toStdString() << "\n";
  return 1;
}

int Usage(const QString& message) {
  std::cerr << "tabrelpeso-admin: " << message.toStdString() << "\n"
            << "Use --help para ver os comandos.\n";
  return 2;
}

QString Text(const std::optional<std::string>& s) {
  return s ? QString::fromStdString(*s) : QString();
}

QString ValueText(const std::optional<double>& v) {
  return v ? QString::number(*v, 'g', 12).replace(u'.', u',') : QString();
}

int Reference(srv::Db& db, const QString& action, const Options& o) {
  const srv::MasterAudit audit{QLatin1String(kUser), QStringLiteral("reference ") + action};
  if (action == QLatin1String("list")) {
    for (const ReferenceEntry& e : srv::ListReferences(db))
      std::cout << e.code << ";" << e.name << "\n";
    return 0;
  }
  const std::string code = srv::ReferenceCode(o.get("--code"));
  if (action == QLatin1String("add")) {
    const ReferenceEntry e =
        srv::MakeReference(o.get("--code"), o.get("--name"), o.get("--citation"), o.get("--source"),
                           o.get("--licence"));
    srv::WriteMaster(db, srv::ReferenceTaken(e.code), [&] { srv::AddReference(db, audit, e); });
    std::cout << "Referência " << e.code << " incluída.\n";
    return 0;
  }
  srv::WriteMaster(db, srv::ReferenceTaken(code), [&] {
    const std::optional<ReferenceEntry> stored = srv::FindReference(db, code);
    if (!stored)
      throw srv::RpcError(srv::RpcError::Refused,
                          QStringLiteral("Referência '%1' não cadastrada. Nada foi alterado.")
                              .arg(QString::fromStdString(code)));
    if (action == QLatin1String("remove")) {
      srv::RemoveReference(db, audit, *stored);
      return;
    }
    auto pick = [&](const char* option, const QString& current) {
      return o.has(option) ? o.get(option) : current;
    };
    const ReferenceEntry changed = srv::MakeReference(
        QString::fromStdString(code), pick("--name", QString::fromStdString(stored->name)),
        pick("--citation", Text(stored->citation)), pick("--source", Text(stored->source)),
        pick("--licence", Text(stored->licence)));
    srv::EditReference(db, audit, *stored, changed);
  });
  std::cout << "Referência " << code
            << (action == QLatin1String("remove") ? " excluída.\n" : " alterada.\n");
  return 0;
}

int Percentile(srv::Db& db, const QString& action, const Options& o) {
  const srv::MasterAudit audit{QLatin1String(kUser), QStringLiteral("percentile ") + action};
  if (action == QLatin1String("list")) {
    for (const PercentileEntry& e : srv::ListPercentiles(db))
      std::cout << e.code << ";" << e.name << ";" << ValueText(e.value).toStdString() << "\n";
    return 0;
  }
  const std::string code = srv::PercentileCode(o.get("--code"));
  if (action == QLatin1String("add")) {
    const PercentileEntry e = srv::MakePercentile(o.get("--code"), o.get("--name"),
                                                  srv::ParsePercentileValue(o.get("--value")));
    srv::WritePercentile(db, e, srv::PercentileTaken(e.code),
                         [&] { srv::AddPercentile(db, audit, e); });
    std::cout << "Percentil " << e.code << " incluído.\n";
    return 0;
  }
  srv::WriteMaster(db, srv::PercentileTaken(code), [&] {
    const std::optional<PercentileEntry> stored = srv::FindPercentile(db, code);
    if (!stored)
      throw srv::RpcError(srv::RpcError::Refused,
                          QStringLiteral("Percentil '%1' não cadastrado. Nada foi alterado.")
                              .arg(QString::fromStdString(code)));
    if (action == QLatin1String("remove")) {
      srv::RemovePercentile(db, audit, *stored);
      return;
    }
    const PercentileEntry changed = srv::MakePercentile(
        QString::fromStdString(code),
        o.has("--name") ? o.get("--name") : QString::fromStdString(stored->name),
        o.has("--value") ? srv::ParsePercentileValue(o.get("--value")) : stored->value);
    srv::EditPercentile(db, audit, *stored, changed);
  });
  std::cout << "Percentil " << code
            << (action == QLatin1String("remove") ? " excluído.\n" : " alterado.\n");
  return 0;
}

}  // namespace

bool IsMasterCommand(const QString& command) {
  return command == QLatin1String("reference") || command == QLatin1String("percentile");
}

int RunMasterCommand(const QStringList& args) {
  const bool reference = args.value(1) == QLatin1String("reference");
  const QString action = args.value(2);
  const QStringList actions{"list", "add", "edit", "remove"};
  if (!actions.contains(action))
    return Usage(QStringLiteral("%1 aceita list, add, edit ou remove.").arg(args.value(1)));
  QStringList known{"--db"};
  if (action != QLatin1String("list")) known << "--code";
  if (action == QLatin1String("add") || action == QLatin1String("edit"))
    known << (reference ? QStringList{"--name", "--citation", "--source", "--licence"}
                        : QStringList{"--name", "--value"});
  Options o;
  for (int i = 3; i < args.size(); ++i) {
    if (!known.contains(args[i]))
      return Usage(QStringLiteral("opção desconhecida para %1 %2: '%3'.")
                       .arg(args.value(1), action, args[i]));
    if (i + 1 >= args.size()) return Usage(QStringLiteral("%1 exige um valor.").arg(args[i]));
    o.values[args[i]] = args[i + 1];
    ++i;
  }
  if (o.get("--db").isEmpty()) return Usage(QStringLiteral("informe o banco com --db."));
  try {
    auto db = srv::OpenDb(o.get("--db"));
    srv::Migrate(*db);
    return reference ? Reference(*db, action, o) : Percentile(*db, action, o);
  } catch (const srv::RpcError& e) {
    return Refused(e.message());
  } catch (const srv::DbError& e) {
    return Refused(QStringLiteral("Falha no banco de dados; nada foi alterado. Detalhe: %1")
                       .arg(QString::fromUtf8(e.what())));
  }
}
