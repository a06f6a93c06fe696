// The small read methods: GetReferencia, GetPapel, GetUsuario, GetTabela, GetValida,
// GetPercentil.
#include "server/service_p.h"

#include "server/json_out.h"

namespace srv {

namespace {

const std::vector<OutField> kPercentileFields{{"CDPERCENTIL", true, 3}, {"NMPERCENTIL", true, 30}};
// Every column of the master, the value included, for the workstations' copy.
const std::vector<OutField> kPercentileTable{
    {"CDPERCENTIL", true, 3}, {"NMPERCENTIL", true, 30}, {"VRPERCENTIL", false, 0}};

struct MasterTable {
  const char* name;
  std::vector<OutField> fields;
  const char* order;
};

// The master tables as GetTabela hands them out, every column included.
const std::vector<MasterTable>& MasterTables() {
  static const std::vector<MasterTable> tables{{"REFEBIBL",
                                                {{"CDREFEBIBL", true, 2},
                                                 {"NMREFEBIBL", true, 60},
                                                 {"DSCITACAO", true, 4000},
                                                 {"DSFONTE", true, 4000},
                                                 {"DSLICENCA", true, 4000}},
                                                "CDREFEBIBL"},
                                               {"PERCENTIL", kPercentileTable, "CDPERCENTIL"}};
  return tables;
}

}  // namespace

JsonPieces Methods::GetReferencia() {
  p_.expect(0);
  auto db = s_.pool_.acquire();
  std::string where;
  for (const TableDef* t : AllTables())
    where += std::string(where.empty() ? " WHERE " : " OR ") + "EXISTS (SELECT 1 FROM " + t->name +
             " t WHERE t.CDREFEBIBL = r.CDREFEBIBL)";
  return Share(Packet(
      *db, {{"CDREFEBIBL", true, 2}, {"NMREFEBIBL", true, 60}},
      "SELECT r.CDREFEBIBL, r.NMREFEBIBL FROM REFEBIBL r" + where + " ORDER BY r.CDREFEBIBL", {}));
}

// The caller's role, so that a workstation opens its screens read-only for a reader.
JsonPieces Methods::GetPapel() {
  p_.expect(0);
  std::string out;
  AppendString(out, who_.maintainer ? "maintainer" : "reader");
  return Share(std::move(out));
}

// The caller's name in the credentials: what the workstation shows and the
// history records.
JsonPieces Methods::GetUsuario() {
  p_.expect(0);
  std::string out;
  AppendString(out, who_.name.toStdString());
  return Share(std::move(out));
}

// One whole table as a packet: the workstations keep their local copy
// (pick lists, reports) filled from it, so none needs the database itself.
JsonPieces Methods::GetTabela() {
  p_.expect(1);
  const std::string name = p_.text(0, QStringLiteral("tabela")).trimmed().toUpper().toStdString();
  auto db = s_.pool_.acquire();
  Transaction tx(*db, false);
  for (const auto& [table, fields, order] : MasterTables()) {
    if (name != table) continue;
    std::string columns;
    for (const OutField& f : fields) columns += (columns.empty() ? "" : ", ") + std::string(f.name);
    return Share(
        Packet(*db, fields, "SELECT " + columns + " FROM " + table + " ORDER BY " + order, {}));
  }
  for (const TableDef* t : AllTables()) {
    if (name != t->name) continue;
    return Share(Packet(*db, FieldsOf(*t),
                        "SELECT " + ColumnList(*t) + " FROM " + t->name + OrderBy(*t), {}));
  }
  BadParams(QStringLiteral("Tabela desconhecida: '%1'. Use REFEBIBL, PERCENTIL, PESALTIDADE, "
                           "PESOALTU ou PEALNCHS2000.")
                .arg(Shown(QString::fromStdString(name))));
}

JsonPieces Methods::GetValida(const TableDef& t) {
  p_.expect(t.id == TableId::Age ? 4 : 3);
  const std::string ref = Code(p_.text(0, QStringLiteral("referência")), true);
  const std::string perc = Code(p_.text(1, QStringLiteral("percentil")), false);
  SqlParams key{ref, perc};
  if (t.id == TableId::Age) {
    key.push_back(std::int64_t(Years(p_.number(2, QStringLiteral("ano")))));
    key.push_back(std::int64_t(Months(p_.number(3, QStringLiteral("mês")))));
  } else {
    key.push_back(ParseHeight(p_.text(2, QStringLiteral("altura"))));
  }
  auto db = s_.pool_.acquire();
  RequireReference(*db, ref);
  RequirePercentile(*db, perc);
  return Share(
      Packet(*db, FieldsOf(t), "SELECT " + ColumnList(t) + " FROM " + t.name + KeyWhere(t), key));
}

JsonPieces Methods::GetPercentil(const TableDef& t) {
  p_.expect(1);
  const QString code = p_.text(0, QStringLiteral("referência"));
  // An empty code selects nothing: a table page without a reference offers
  // no percentile, and the copy dialog still loads the other lists.
  if (code.isEmpty()) {
    std::string out;
    AppendFields(out, kPercentileFields);
    return Share(out + "]}");
  }
  const std::string ref = Code(code, true);
  auto db = s_.pool_.acquire();
  RequireReference(*db, ref);
  return Share(Packet(*db, kPercentileFields,
                      "SELECT p.CDPERCENTIL, p.NMPERCENTIL FROM PERCENTIL p WHERE NOT EXISTS "
                      "(SELECT 1 FROM " +
                          std::string(t.name) +
                          " t WHERE t.CDREFEBIBL = ? AND t.CDPERCENTIL = p.CDPERCENTIL) ORDER "
                          "BY p.CDPERCENTIL",
                      {ref}));
}

}  // namespace srv
