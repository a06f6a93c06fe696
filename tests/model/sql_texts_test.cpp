// The local queries' SQL texts, byte for byte, per dialect.
#include "model/sql_texts.h"

#include "framework/data/errors.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <vector>

namespace {

using trp::model::Screen;
using trp::model::SqlDialect;

// Written out as the bytes each text must have.
const char kRefeStandard[] =
    "SELECT\n"
    "   CDREFEBIBL,\n"
    "   NMREFEBIBL\n"
    "FROM\n"
    "   REFEBIBL\n"
    "WHERE\n"
    "   CDREFEBIBL = NVL(:P_CDREFERENCIA,CDREFEBIBL)\n"
    "ORDER BY\n"
    "   CDREFEBIBL";
const char kRefeSqlServer[] =
    "SELECT\n"
    "   CDREFEBIBL,\n"
    "   NMREFEBIBL\n"
    "FROM\n"
    "   REFEBIBL\n"
    "WHERE\n"
    "   CDREFEBIBL = ISNULL(:P_CDREFERENCIA,CDREFEBIBL)\n"
    "ORDER BY\n"
    "   CDREFEBIBL";
const char kRefeInterBase[] =
    "SELECT\n"
    "   CDREFEBIBL,\n"
    "   NMREFEBIBL\n"
    "FROM\n"
    "   REFEBIBL,\n"
    "   PARAM(:P_CDREFERENCIA) P1\n"
    "WHERE\n"
    "   CDREFEBIBL = NVLSTR(P1.PARAM,CDREFEBIBL)\n"
    "ORDER BY\n"
    "   CDREFEBIBL";

const char kDialogStandard[] =
    "SELECT\n"
    "   CDPERCENTIL,\n"
    "   NMPERCENTIL\n"
    "FROM\n"
    "   PERCENTIL\n"
    "WHERE\n"
    "   CDPERCENTIL = NVL(:P_CDPERC,CDPERCENTIL)      \n";
const char kDialogSqlServer[] =
    "SELECT\n"
    "   CDPERCENTIL,\n"
    "   NMPERCENTIL\n"
    "FROM\n"
    "   PERCENTIL\n"
    "WHERE\n"
    "   CDPERCENTIL = ISNULL(:P_CDPERC,CDPERCENTIL)      \n";
const char kDialogInterBase[] =
    "SELECT\n"
    "   CDPERCENTIL,\n"
    "   NMPERCENTIL\n"
    "FROM\n"
    "   PERCENTIL,\n"
    "   PARAM(:P_CDPERC) P1\n"
    "WHERE\n"
    "   CDPERCENTIL = NVLSTR(P1.PARAM,CDPERCENTIL)      ";

const char kReportReferencia[] =
    "SELECT\n"
    "   CDREFEBIBL,\n"
    "   NMREFEBIBL\n"
    "FROM\n"
    "   REFEBIBL";
const char kReportPercentil[] =
    "SELECT\n"
    "   CDPERCENTIL,\n"
    "   NMPERCENTIL\n"
    "FROM\n"
    "   PERCENTIL";

// The percentile search is the reference search with the names swapped.
QByteArray ToPercentil(QByteArray text) {
  text.replace("P_CDREFERENCIA", "P_CDPERCENTIL");
  text.replace("CDREFEBIBL", "CDPERCENTIL");
  text.replace("NMREFEBIBL", "NMPERCENTIL");
  text.replace("REFEBIBL", "PERCENTIL");
  return text;
}

struct Case {
  Screen screen;
  const char* name;
  const char* parameter;
  const char* fields;
  QByteArray standard, oracle, sqlServer, interBase;
};

std::vector<Case> Cases() {
  return {
      {Screen::TabRelPeso, "qryPesqRefe", "P_CDREFERENCIA", "qryPesqRefe", kRefeStandard,
       kRefeStandard, kRefeSqlServer, kRefeInterBase},
      {Screen::TabRelPeso, "qryPesqPercentil", "P_CDPERCENTIL", "qryPesqPercentil",
       ToPercentil(kRefeStandard), ToPercentil(kRefeStandard), ToPercentil(kRefeSqlServer),
       ToPercentil(kRefeInterBase)},
      {Screen::PercDestino, "qryPercentil", "P_CDPERC", "qryPesqPercentil", kDialogStandard,
       kDialogStandard, kDialogSqlServer, kDialogInterBase},
      {Screen::RelTabPeso, "qryReferencia", "", "qryPesqRefe", kReportReferencia, kReportReferencia,
       kReportReferencia, kReportReferencia},
      {Screen::RelTabPeso, "qryPercentil", "", "qryPesqPercentil", kReportPercentil,
       kReportPercentil, kReportPercentil, kReportPercentil},
  };
}

TEST(SqlTexts, EachQueryHasItsFourDialectsByteForByte) {
  const auto cases = Cases();
  ASSERT_EQ(trp::model::QuerySpecs().size(), qsizetype(cases.size()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto& q = trp::model::QuerySpecByName(c.screen, QString::fromLatin1(c.name));
    EXPECT_EQ(q.parameter, QString::fromLatin1(c.parameter));
    EXPECT_EQ(q.texts.standard.toUtf8(), c.standard);
    EXPECT_EQ(q.texts.oracle.toUtf8(), c.oracle);
    EXPECT_EQ(q.texts.sqlServer.toUtf8(), c.sqlServer);
    EXPECT_EQ(q.texts.interBase.toUtf8(), c.interBase);
    EXPECT_EQ(q.texts.For(SqlDialect::Standard).toUtf8(), c.standard);
    EXPECT_EQ(q.texts.For(SqlDialect::Oracle).toUtf8(), c.oracle);
    EXPECT_EQ(q.texts.For(SqlDialect::SqlServer).toUtf8(), c.sqlServer);
    EXPECT_EQ(q.texts.For(SqlDialect::InterBase).toUtf8(), c.interBase);
    // Same field list as the search query it mirrors.
    const auto& want = trp::model::DatasetSpecByName(QString::fromLatin1(c.fields));
    ASSERT_NE(q.fields, nullptr);
    ASSERT_EQ(q.fields->fields.size(), want.fields.size());
    for (size_t i = 0; i < want.fields.size(); ++i) {
      EXPECT_STREQ(q.fields->fields[i].name, want.fields[i].name);
      EXPECT_STREQ(q.fields->fields[i].label, want.fields[i].label);
      EXPECT_EQ(q.fields->fields[i].width, want.fields[i].width);
      EXPECT_EQ(q.fields->fields[i].required, want.fields[i].required);
    }
  }
}

TEST(SqlTexts, DialogQueryKeepsTrailingBlanksAndFinalEmptyLine) {
  const auto& t = trp::model::QueryTextsOf(Screen::PercDestino, u"qryPercentil");
  for (const QString* text : {&t.standard, &t.oracle, &t.sqlServer}) {
    EXPECT_TRUE(text->endsWith(QStringLiteral("CDPERCENTIL)      \n"))) << text->toStdString();
    EXPECT_EQ(text->split(u'\n').size(), 8);  // seven lines and an empty one
  }
  EXPECT_TRUE(t.interBase.endsWith(QStringLiteral("CDPERCENTIL)      ")));
  EXPECT_EQ(t.interBase.split(u'\n').size(), 8);  // eight lines, no empty one
  EXPECT_FALSE(t.standard.contains(QStringLiteral("ORDER BY")));
}

TEST(SqlTexts, SameNameOnTwoScreensGivesEachItsOwnText) {
  const auto& dialog = trp::model::QueryTextsOf(Screen::PercDestino, u"qryPercentil");
  const auto& report = trp::model::QueryTextsOf(Screen::RelTabPeso, u"qryPercentil");
  EXPECT_NE(dialog.standard, report.standard);
  EXPECT_THROW(trp::model::QueryTextsOf(Screen::TabRelPeso, u"qryPercentil"), fw::Error);
  EXPECT_THROW(trp::model::QueryTextsOf(Screen::RelTabPeso, u"qryPesqRefe"), fw::Error);
}

}  // namespace
