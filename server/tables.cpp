#include "server/tables.h"

namespace srv {

namespace {

using K = ColumnDef::Kind;

ColumnDef Ref() { return {"CDREFEBIBL", K::Code, 2, true, "Referência"}; }
ColumnDef Perc() { return {"CDPERCENTIL", K::Code, 3, true, "Percentil"}; }
ColumnDef Val(const char* name, const char* label) { return {name, K::Real, 0, false, label}; }

TableDef MakeAge() {
  TableDef t{
      TableId::Age,
      "PESALTIDADE",
      "Idade/Peso/Altura",
      {Perc(), Ref(), {kMonths, K::Whole, 0, true, "Mês"}, {kYears, K::Whole, 0, true, "Ano"}},
      {"CDREFEBIBL", "CDPERCENTIL", kYears, kMonths},
      "Período de idade já cadastrado.",
      "GetPercIdade",
      "GetValidaIdade",
      "SetIdPesAlt",
      "DeletaIdade",
      "GetPercentilIdPesAlt",
      "CopiaIdPesAlt"};
  static const char* const values[][2] = {
      {"VRPESOMASIDA", "Peso masculino"},
      {"VRALTUMASIDA", "Altura masculina"},
      {"VRPESOFEMIDA", "Peso feminino"},
      {"VRALTUFEMIDA", "Altura feminina"},
      {"VRDPPCFEMIDA", "Desvio padrão do perímetro cefálico feminino"},
      {"VRMDPCFEMIDA", "Média do perímetro cefálico feminino"},
      {"VRPMCFFEMIDA", "Perímetro cefálico feminino"},
      {"VRDPATFEMIDA", "Desvio padrão da altura feminina"},
      {"VRMDATFEMIDA", "Média da altura feminina"},
      {"VRDPPSFEMIDA", "Desvio padrão do peso feminino"},
      {"VRMDPSFEMIDA", "Média do peso feminino"},
      {"VRDPPCMASIDA", "Desvio padrão do perímetro cefálico masculino"},
      {"VRMDPCMASIDA", "Média do perímetro cefálico masculino"},
      {"VRPMCFMASIDA", "Perímetro cefálico masculino"},
      {"VRDPATMASIDA", "Desvio padrão da altura masculina"},
      {"VRMDATMASIDA", "Média da altura masculina"},
      {"VRDPPSMASIDA", "Desvio padrão do peso masculino"},
      {"VRMDPSMASIDA", "Média do peso masculino"},
  };
  for (const auto& v : values) t.columns.push_back(Val(v[0], v[1]));
  return t;
}

TableDef MakeHeight() {
  return {TableId::Height,
          "PESOALTU",
          "Peso/Altura",
          {{"VRALTURA", K::Real, 0, true, "Altura"},
           Val("VRPESOFEMALT", "Peso feminino"),
           Perc(),
           Ref(),
           Val("VRPESOMASALT", "Peso masculino")},
          {"CDREFEBIBL", "CDPERCENTIL", "VRALTURA"},
          "Altura já cadastrada.",
          "GetPercAltura",
          "GetValidaAltura",
          "SetPesAlt",
          "DeletaAltura",
          "GetPercentilPesAlt",
          "CopiaPesAlt"};
}

TableDef MakeNchs() {
  return {TableId::Nchs,
          "PEALNCHS2000",
          "Peso/Altura (NCHS 2000)",
          {Ref(),
           Perc(),
           {"VRALTURAN2", K::Real, 0, true, "Altura"},
           Val("VRPESOFEMN2", "Peso feminino"),
           Val("VRPESOMASN2", "Peso masculino"),
           Val("VRMEDIMASN2", "Média masculina"),
           Val("VRMEDIFEMN2", "Média feminina"),
           Val("VRDVPDMASN2", "Desvio padrão masculino"),
           Val("VRDVPDFEMN2", "Desvio padrão feminino")},
          {"CDREFEBIBL", "CDPERCENTIL", "VRALTURAN2"},
          "Altura já cadastrada.",
          "GetPercAlturaNCHS",
          "GetValidaAlturaNCHS",
          "SetPesAltNCHS",
          "DeletaAlturaNCHS",
          "GetPercentilPesAltNCHS",
          "CopiaPesAltNCHS"};
}

}  // namespace

int TableDef::columnIndex(std::string_view column) const {
  for (size_t i = 0; i < columns.size(); ++i)
    if (column == columns[i].name) return int(i);
  return -1;
}

const ColumnDef& TableDef::column(std::string_view name) const {
  return columns[size_t(columnIndex(name))];
}

const TableDef& Table(TableId id) {
  static const TableDef age = MakeAge();
  static const TableDef height = MakeHeight();
  static const TableDef nchs = MakeNchs();
  switch (id) {
    case TableId::Age:
      return age;
    case TableId::Height:
      return height;
    case TableId::Nchs:
      break;
  }
  return nchs;
}

const std::vector<const TableDef*>& AllTables() {
  static const std::vector<const TableDef*> all{&Table(TableId::Age), &Table(TableId::Height),
                                                &Table(TableId::Nchs)};
  return all;
}

}  // namespace srv
