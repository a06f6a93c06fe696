// Field lists of every dataset and query, checked against tables written out
// independently here, and the datasets built from them.
#include "model/datasets.h"

#include "framework/data/dataset.h"
#include "framework/data/errors.h"
#include "framework/data/field.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QString>

#include <memory>
#include <set>
#include <vector>

namespace {

using trp::model::DatasetSpec;
using trp::model::Screen;

// "(none)" in a label column: declared empty.
constexpr const char* kNone = "";

struct Expected {
  const char* name;
  const char* type;  // "string" or "float"
  int size;
  const char* label;  // nullptr: no label declared (the field name shows)
  const char* format = "";
  int width = 0;
  bool hidden = false;
  bool required = false;
};

struct ExpectedDataset {
  const char* name;
  std::vector<Expected> fields;
};

const std::vector<Expected> kPercList = {
    {"CDREFEBIBL", "string", 2, "Referência"},
    {"CDPERCENTIL", "string", 3, "Código"},
    {"NMPERCENTIL", "string", 30, "Nome"},
};
const std::vector<Expected> kOffer = {
    {"CDPERCENTIL", "string", 3, "Código"},
    {"NMPERCENTIL", "string", 30, "Nome"},
};
const std::vector<Expected> kQryRefe = {
    {"CDREFEBIBL", "string", 2, "Código", "", 5, false, true},
    {"NMREFEBIBL", "string", 60, "Nome", "", 45},
};
const std::vector<Expected> kQryPerc = {
    {"CDPERCENTIL", "string", 3, "Código", "", 5, false, true},
    {"NMPERCENTIL", "string", 30, "Nome", "", 45},
};
const std::vector<Expected> kValidaPerc = {
    {"CDREFEBIBL", "string", 2, nullptr},
    {"CDPERCENTIL", "string", 3, nullptr},
};

const std::vector<ExpectedDataset>& AllExpected() {
  static const std::vector<ExpectedDataset> all = {
      {"cdsReferencia",
       {
           {"CDREFEBIBL", "string", 2, "Código"},
           {"NMREFEBIBL", "string", 60, "Nome"},
       }},
      {"cdsPercIdade", kPercList},
      {"cdsPercAltura",
       {
           {"CDREFEBIBL", "string", 2, "Referência"},
           {"CDPERCENTIL", "string", 3, "Código", "", 5},
           {"NMPERCENTIL", "string", 30, "Nome", "", 45},
       }},
      {"cdsPercAlturaNCHS", kPercList},
      {"cdsIdPesAlt",
       {
           {"CDPERCENTIL", "string", 3, kNone, "", 0, true},
           {"CDREFEBIBL", "string", 2, "Referência", "", 0, true},
           {"NRIDADEFIN", "float", 0, "Mês", "##0"},
           {"NRIDADEINI", "float", 0, "Ano", "##0"},
           {"VRPESOMASIDA", "float", 0, "Peso (kg)", "#,##0.000"},
           {"VRALTUMASIDA", "float", 0, "Altura (cm)", "#,##0.000"},
           {"VRPESOFEMIDA", "float", 0, "Peso (kg)", "#,##0.000"},
           {"VRALTUFEMIDA", "float", 0, "Altura (cm)", "#,##0.000"},
           {"VRDPPCFEMIDA", "float", 0, "Desvio Padrão (Perímetro Cefálico)", "#,##0.00"},
           {"VRMDPCFEMIDA", "float", 0, "Média (Perímetro Cefálico)", "#,##0.00"},
           {"VRPMCFFEMIDA", "float", 0, "Perímetro Cefálico (cm)", "#,##0.00"},
           {"VRDPATFEMIDA", "float", 0, "Desvio Padrão (Altura)", "#,##0.00"},
           {"VRMDATFEMIDA", "float", 0, "Média (Altura)", "#,##0.00"},
           {"VRDPPSFEMIDA", "float", 0, "Desvio Padrão (Peso)", "#,##0.00"},
           {"VRMDPSFEMIDA", "float", 0, "Média (Peso)", "#,##0.00"},
           {"VRDPPCMASIDA", "float", 0, "Desvio Padrão (Perímetro Cefálico)", "#,##0.00"},
           {"VRMDPCMASIDA", "float", 0, "Média (Perímetro Cefálico)", "#,##0.00"},
           {"VRPMCFMASIDA", "float", 0, "Perímetro Cefálico (cm)", "#,##0.00"},
           {"VRDPATMASIDA", "float", 0, "Desvio Padrão (Altura)", "#,##0.00"},
           {"VRMDATMASIDA", "float", 0, "Média (Altura)", "#,##0.00"},
           {"VRDPPSMASIDA", "float", 0, "Desvio Padrão (Peso)", "#,##0.00"},
           {"VRMDPSMASIDA", "float", 0, "Média (Peso)", "#,##0.00"},
       }},
      {"cdsPesAlt",
       {
           {"VRALTURA", "float", 0, "Altura(cm)", "#,##0.00"},
           {"VRPESOFEMALT", "float", 0, "Peso(Kg) Feminino ", "#,##0.000"},
           {"CDPERCENTIL", "string", 3, kNone, "", 0, true},
           {"CDREFEBIBL", "string", 2, "Referência", "", 0, true},
           {"VRPESOMASALT", "float", 0, "Peso(Kg) Masculino ", "#,##0.000"},
       }},
      {"cdsPesAltNCHS",
       {
           {"CDREFEBIBL", "string", 2, "Referência"},
           {"CDPERCENTIL", "string", 3, "Percentil"},
           {"VRALTURAN2", "float", 0, "Altura (cm)", "#,##0.000"},
           {"VRPESOFEMN2", "float", 0, "Peso (kg)", "#,##0.000"},
           {"VRPESOMASN2", "float", 0, "Peso (kg)", "#,##0.000"},
           {"VRMEDIMASN2", "float", 0, "Média", "#,##0.00"},
           {"VRMEDIFEMN2", "float", 0, "Média", "#,##0.00"},
           {"VRDVPDMASN2", "float", 0, "Desvio Padrão", "#,##0.00"},
           {"VRDVPDFEMN2", "float", 0, "Desvio Padrão", "#,##0.00"},
       }},
      {"cdsValidaRefe",
       {
           {"CDREFEBIBL", "string", 2, nullptr},
           {"NMREFEBIBL", "string", 60, nullptr},
       }},
      {"cdsValidaIdade",
       {
           {"CDPERCENTIL", "string", 3, nullptr},
           {"CDREFEBIBL", "string", 2, nullptr},
           {"NRIDADEINI", "float", 0, nullptr},
           {"NRIDADEFIN", "float", 0, nullptr},
       }},
      {"cdsValidaAltura",
       {
           {"VRALTURA", "float", 0, nullptr},
           {"CDPERCENTIL", "string", 3, nullptr},
           {"CDREFEBIBL", "string", 2, nullptr},
       }},
      {"cdsValidaAlturaNCHS",
       {
           {"VRALTURAN2", "float", 0, nullptr},
           {"CDPERCENTIL", "string", 3, nullptr},
           {"CDREFEBIBL", "string", 2, nullptr},
       }},
      {"cdsValidaPercIdade", kValidaPerc},
      {"cdsValidaPercAltura", kValidaPerc},
      {"cdsValidaPercAlturaNCHS", kValidaPerc},
      {"qryPesqRefe", kQryRefe},
      {"qryPesqPercentil", kQryPerc},
      {"cdsPercentilIdPesAlt", kOffer},
      {"cdsPercentilPesAlt", kOffer},
      {"cdsPercentilPesAltNCHS", kOffer},
      {"cdsValidaIdPesAlt", kOffer},
      {"cdsValidaPesAlt", kOffer},
      {"cdsValidaPesAltNCHS", kOffer},
      {"qryPercentil", kQryPerc},
      {"qryReferencia", kQryRefe},
  };
  return all;
}

QString TypeName(fw::FieldType type) {
  switch (type) {
    case fw::FieldType::String:
      return QStringLiteral("string");
    case fw::FieldType::Float:
      return QStringLiteral("float");
    default:
      return QStringLiteral("other");
  }
}

class DatasetDefinition : public testing::TestWithParam<ExpectedDataset> {};

TEST_P(DatasetDefinition, SpecListsFieldsInDeclarationOrder) {
  const ExpectedDataset& want = GetParam();
  const DatasetSpec& spec = trp::model::DatasetSpecByName(QString::fromLatin1(want.name));
  EXPECT_EQ(spec.Name(), QString::fromLatin1(want.name));
  ASSERT_EQ(spec.fields.size(), want.fields.size());
  for (size_t i = 0; i < want.fields.size(); ++i) {
    const Expected& w = want.fields[i];
    const auto& f = spec.fields[i];
    SCOPED_TRACE(QStringLiteral("%1.%2").arg(want.name, w.name).toStdString());
    EXPECT_EQ(f.Name(), QString::fromLatin1(w.name));
    EXPECT_EQ(TypeName(f.type), QString::fromLatin1(w.type));
    EXPECT_EQ(f.size, w.size);
    if (w.label == nullptr) {
      EXPECT_TRUE(f.Label().isNull());
    } else {
      EXPECT_FALSE(f.Label().isNull());
      EXPECT_EQ(f.Label(), QString::fromUtf8(w.label));
    }
    EXPECT_EQ(f.Format(), QString::fromLatin1(w.format));
    EXPECT_EQ(f.width, w.width);
    EXPECT_EQ(f.hidden, w.hidden);
    EXPECT_EQ(f.required, w.required);
  }
}

TEST_P(DatasetDefinition, BuiltDatasetCarriesTheDefinition) {
  const ExpectedDataset& want = GetParam();
  QObject owner;
  fw::Dataset* ds = trp::model::BuildDataset(
      trp::model::DatasetSpecByName(QString::fromLatin1(want.name)), &owner);
  ASSERT_NE(ds, nullptr);
  EXPECT_EQ(ds->parent(), &owner);
  EXPECT_EQ(ds->objectName(), QString::fromLatin1(want.name));
  EXPECT_FALSE(ds->Active());
  ASSERT_EQ(ds->FieldCount(), int(want.fields.size()));
  for (int i = 0; i < ds->FieldCount(); ++i) {
    const Expected& w = want.fields[size_t(i)];
    fw::Field* f = ds->Fields().at(i);
    SCOPED_TRACE(QStringLiteral("%1.%2").arg(want.name, w.name).toStdString());
    EXPECT_EQ(f->FieldName(), QString::fromLatin1(w.name));
    EXPECT_EQ(f->objectName(), QString::fromLatin1(want.name) + QString::fromLatin1(w.name));
    EXPECT_EQ(owner.findChild<fw::Field*>(f->objectName()), f);
    EXPECT_EQ(TypeName(f->DataType()), QString::fromLatin1(w.type));
    EXPECT_EQ(f->Size(), w.size);
    // No declared label shows the field name; a declared empty one stays empty.
    const QString label = w.label ? QString::fromUtf8(w.label) : QString::fromLatin1(w.name);
    EXPECT_EQ(f->DisplayLabel(), label);
    EXPECT_EQ(f->DisplayFormat(), QString::fromLatin1(w.format));
    if (w.width > 0) {
      EXPECT_EQ(f->DisplayWidth(), w.width);
    }
    EXPECT_EQ(f->Visible(), !w.hidden);
    EXPECT_EQ(f->Required(), w.required);
  }
}

INSTANTIATE_TEST_SUITE_P(AllDatasets, DatasetDefinition, testing::ValuesIn(AllExpected()),
                         [](const testing::TestParamInfo<ExpectedDataset>& info) {
                           return std::string(info.param.name);
                         });

TEST(DatasetCatalogue, EveryDefinedDatasetIsCheckedAndNamedOnce) {
  std::set<QString> expected;
  for (const ExpectedDataset& d : AllExpected()) expected.insert(QString::fromLatin1(d.name));
  std::set<QString> defined;
  for (const DatasetSpec* spec : trp::model::AllDatasetSpecs()) {
    EXPECT_TRUE(defined.insert(spec->Name()).second) << spec->name << " defined twice";
  }
  EXPECT_EQ(defined, expected);
}

TEST(DatasetCatalogue, ScreensHoldTheirDatasets) {
  struct Case {
    Screen screen;
    std::vector<const char*> names;
  };
  const std::vector<Case> cases = {
      {Screen::TabRelPeso,
       {"cdsReferencia", "cdsPercIdade", "cdsPercAltura", "cdsPercAlturaNCHS", "cdsIdPesAlt",
        "cdsPesAlt", "cdsPesAltNCHS", "cdsValidaRefe", "cdsValidaIdade", "cdsValidaAltura",
        "cdsValidaAlturaNCHS", "cdsValidaPercIdade", "cdsValidaPercAltura",
        "cdsValidaPercAlturaNCHS", "qryPesqRefe", "qryPesqPercentil"}},
      {Screen::PercDestino,
       {"cdsPercentilIdPesAlt", "cdsPercentilPesAlt", "cdsPercentilPesAltNCHS", "cdsValidaIdPesAlt",
        "cdsValidaPesAlt", "cdsValidaPesAltNCHS", "qryPercentil"}},
      {Screen::RelTabPeso, {"qryReferencia", "qryPercentil"}},
  };
  for (const Case& c : cases) {
    auto specs = trp::model::DatasetSpecsOf(c.screen);
    ASSERT_EQ(specs.size(), c.names.size());
    for (size_t i = 0; i < specs.size(); ++i) EXPECT_STREQ(specs[i]->name, c.names[i]);
  }
}

TEST(DatasetCatalogue, UnknownNamesAreRefusedByName) {
  try {
    trp::model::DatasetSpecByName(u"cdsNaoExiste");
    FAIL() << "no error";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains(QStringLiteral("cdsNaoExiste"))) << e.what();
  }
  EXPECT_EQ(trp::model::DatasetSpecByName(u"cdsPesAlt").Find(u"VRALTURA")->type,
            fw::FieldType::Float);
  EXPECT_EQ(trp::model::DatasetSpecByName(u"cdsPesAlt").Find(u"VRALTURAN2"), nullptr);
}

TEST(DatasetBuilder, FieldsAreReadyForRowsOfTheirPacket) {
  QObject owner;
  fw::Dataset* ds = trp::model::BuildDataset(trp::model::DatasetSpecByName(u"cdsPesAlt"), &owner);
  fw::DataPacket packet(trp::model::FieldDefs(trp::model::DatasetSpecByName(u"cdsPesAlt")));
  packet.appendRow({110.5, 18.25, QStringLiteral("050"), QStringLiteral("01"), 1234.5});
  ds->SetData(packet);
  ASSERT_EQ(ds->RecordCount(), 1);
  EXPECT_EQ(ds->FieldByName(u"VRPESOMASALT")->DisplayText(), QStringLiteral("1.234,500"));
  EXPECT_EQ(ds->FieldByName(u"VRALTURA")->DisplayText(), QStringLiteral("110,50"));
  EXPECT_EQ(ds->FieldByName(u"CDPERCENTIL")->AsString(), QStringLiteral("050"));
}

TEST(DatasetBuilder, MonthsDisplayWithoutDecimals) {
  QObject owner;
  fw::Dataset* ds = trp::model::BuildDataset(trp::model::DatasetSpecByName(u"cdsIdPesAlt"), &owner);
  fw::DataPacket packet(trp::model::FieldDefs(trp::model::DatasetSpecByName(u"cdsIdPesAlt")));
  QVariantList row(22);
  row[0] = QStringLiteral("050");
  row[1] = QStringLiteral("01");
  row[2] = 11.0;
  row[3] = 1.0;
  packet.appendRow(row);
  ds->SetData(packet);
  EXPECT_EQ(ds->FieldByName(u"NRIDADEFIN")->DisplayText(), QStringLiteral("11"));
  EXPECT_EQ(ds->FieldByName(u"NRIDADEINI")->DisplayText(), QStringLiteral("1"));
}

TEST(ServerPackets, EachMethodCarriesTheReceivingDatasetsColumns) {
  struct Case {
    const char* method;
    int element;
    const char* dataset;
  };
  const Case cases[] = {
      {"GetReferencia", 0, "cdsReferencia"},
      {"GetPercIdade", 0, "cdsPercIdade"},
      {"GetPercIdade", 1, "cdsIdPesAlt"},
      {"GetPercAltura", 0, "cdsPercAltura"},
      {"GetPercAltura", 1, "cdsPesAlt"},
      {"GetPercAlturaNCHS", 0, "cdsPercAlturaNCHS"},
      {"GetPercAlturaNCHS", 1, "cdsPesAltNCHS"},
      {"GetValidaIdade", 0, "cdsValidaIdade"},
      {"GetValidaAltura", 0, "cdsValidaAltura"},
      {"GetValidaAlturaNCHS", 0, "cdsValidaAlturaNCHS"},
      {"SetIdPesAlt", 0, "cdsIdPesAlt"},
      {"SetPesAlt", 0, "cdsPesAlt"},
      {"SetPesAltNCHS", 0, "cdsPesAltNCHS"},
      {"GetPercentilIdPesAlt", 0, "cdsPercentilIdPesAlt"},
      {"GetPercentilPesAlt", 0, "cdsPercentilPesAlt"},
      {"GetPercentilPesAltNCHS", 0, "cdsPercentilPesAltNCHS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    const QString method = QString::fromLatin1(c.method);
    EXPECT_STREQ(trp::model::PacketSpec(method, c.element).name, c.dataset);
    const QList<fw::FieldDef> fields = trp::model::PacketFields(method, c.element);
    const DatasetSpec& ds = trp::model::DatasetSpecByName(QString::fromLatin1(c.dataset));
    ASSERT_EQ(fields.size(), qsizetype(ds.fields.size()));
    for (qsizetype i = 0; i < fields.size(); ++i) {
      EXPECT_EQ(fields[i].name, ds.fields[size_t(i)].Name());
      EXPECT_EQ(fields[i].type, ds.fields[size_t(i)].type);
      EXPECT_EQ(fields[i].size, ds.fields[size_t(i)].size);
    }
  }
}

TEST(ServerPackets, MethodsWithoutPacketsAndBadElementsAreRefused) {
  EXPECT_THROW(trp::model::PacketSpec(u"DeletaIdade"), fw::Error);
  EXPECT_THROW(trp::model::PacketSpec(u"getreferencia"), fw::Error);
  EXPECT_THROW(trp::model::PacketSpec(u"GetPercIdade", 2), fw::Error);
  EXPECT_THROW(trp::model::PacketSpec(u"GetPercIdade", -1), fw::Error);
}

TEST(ServerPackets, RowTablesNameTheirDatasetAndKeys) {
  struct Case {
    const char* table;
    const char* dataset;
    std::vector<const char*> keys;
  };
  const std::vector<Case> cases = {
      {"PESALTIDADE", "cdsIdPesAlt", {"CDREFEBIBL", "CDPERCENTIL", "NRIDADEINI", "NRIDADEFIN"}},
      {"PESOALTU", "cdsPesAlt", {"CDREFEBIBL", "CDPERCENTIL", "VRALTURA"}},
      {"PEALNCHS2000", "cdsPesAltNCHS", {"CDREFEBIBL", "CDPERCENTIL", "VRALTURAN2"}},
  };
  ASSERT_EQ(trp::model::RowTables().size(), cases.size());
  for (const Case& c : cases) {
    const auto& t = trp::model::RowTableByName(QString::fromLatin1(c.table));
    EXPECT_STREQ(t.dataset, c.dataset);
    ASSERT_EQ(t.keys.size(), c.keys.size());
    const DatasetSpec& ds = trp::model::DatasetSpecByName(QString::fromLatin1(t.dataset));
    for (size_t i = 0; i < c.keys.size(); ++i) {
      EXPECT_STREQ(t.keys[i], c.keys[i]);
      EXPECT_NE(ds.Find(QString::fromLatin1(t.keys[i])), nullptr) << t.keys[i];
    }
  }
  EXPECT_THROW(trp::model::RowTableByName(u"REFEBIBL"), fw::Error);
}

}  // namespace
