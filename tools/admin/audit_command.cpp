#include "tools/admin/audit_command.h"

#include "server/audit_query.h"

#include <iostream>

int RunAuditCommand(const QString& db, const std::map<QString, QString>& options) {
  auto option = [&](const char* name) {
    auto it = options.find(QString::fromLatin1(name));
    return it == options.end() ? QString() : it->second;
  };
  auto usage = [](const QString& message) {
    std::cerr << "tabrelpeso-admin: " << message.toStdString() << "\n"
              << "Use --help para ver os comandos.\n";
    return 2;
  };
  srv::AuditFilter filter;
  if (!option("--table").isEmpty() && !(filter.table = srv::AuditTableByName(option("--table"))))
    return usage(QStringLiteral("--table aceita age, height ou nchs."));
  filter.reference = option("--ref").toStdString();
  filter.percentile = option("--perc").toStdString();
  filter.user = option("--user").toStdString();
  if (!option("--since").isEmpty()) {
    const std::optional<std::string> since = srv::AuditTime(option("--since"));
    if (!since)
      return usage(QStringLiteral("data inválida em --since: '%1' (use AAAA-MM-DD ou "
                                  "DD/MM/AAAA).")
                       .arg(option("--since")));
    filter.since = *since;
  }
  if (!option("--format").isEmpty() && option("--format") != QLatin1String("csv"))
    return usage(QStringLiteral("--format aceita somente csv."));
  try {
    std::cout << srv::AuditReport(db, filter, option("--format") == QLatin1String("csv"));
  } catch (const std::exception& e) {
    std::cerr << "tabrelpeso-admin: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
