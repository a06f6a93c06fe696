#include "model/sql_texts.h"

#include "framework/data/errors.h"

#include <QStringList>

namespace trp::model {

namespace {

QString Lines(const QStringList& lines) { return lines.join(u'\n'); }

QueryTexts PesqRefe() {
  QueryTexts t;
  t.standard = Lines({
      QStringLiteral("SELECT"),
      QStringLiteral("   CDREFEBIBL,"),
      QStringLiteral("   NMREFEBIBL"),
      QStringLiteral("FROM"),
      QStringLiteral("   REFEBIBL"),
      QStringLiteral("WHERE"),
      QStringLiteral("   CDREFEBIBL = NVL(:P_CDREFERENCIA,CDREFEBIBL)"),
      QStringLiteral("ORDER BY"),
      QStringLiteral("   CDREFEBIBL"),
  });
  t.oracle = t.standard;
  t.sqlServer = Lines({
      QStringLiteral("SELECT"),
      QStringLiteral("   CDREFEBIBL,"),
      QStringLiteral("   NMREFEBIBL"),
      QStringLiteral("FROM"),
      QStringLiteral("   REFEBIBL"),
      QStringLiteral("WHERE"),
      QStringLiteral("   CDREFEBIBL = ISNULL(:P_CDREFERENCIA,CDREFEBIBL)"),
      QStringLiteral("ORDER BY"),
      QStringLiteral("   CDREFEBIBL"),
  });
  t.interBase = Lines({
      QStringLiteral("SELECT"),
      QStringLiteral("   CDREFEBIBL,"),
      QStringLiteral("   NMREFEBIBL"),
      QStringLiteral("FROM"),
      QStringLiteral("   REFEBIBL,"),
      QStringLiteral("   PARAM(:P_CDREFERENCIA) P1"),
      QStringLiteral("WHERE"),
      QStringLiteral("   CDREFEBIBL = NVLSTR(P1.PARAM,CDREFEBIBL)"),
      QStringLiteral("ORDER BY"),
      QStringLiteral("   CDREFEBIBL"),
  });
  return t;
}

QueryTexts PesqPercentil() {
  QueryTexts t;
  t.standard = Lines({
      QStringLiteral("SELECT"),
      QStringLiteral("   CDPERCENTIL,"),
      QStringLiteral("   NMPERCENTIL"),
      QStringLiteral("FROM"),
      QStringLiteral("   PERCENTIL"),
      QStringLiteral("WHERE"),
      QStringLiteral("   CDPERCENTIL = NVL(:P_CDPERCENTIL,CDPERCENTIL)"),
      QStringLiteral("ORDER BY"),
      QStringLiteral("   CDPERCENTIL"),
  });
  t.oracle = t.standard;
  t.sqlServer = Lines({
      QStringLiteral("SELECT"),
      QStringLiteral("   CDPERCENTIL,"),
      QStringLiteral("   NMPERCENTIL"),
      QStringLiteral("FROM"),
      QStringLiteral("   PERCENTIL"),
      QStringLiteral("WHERE"),
      QStringLiteral("   CDPERCENTIL = ISNULL(:P_CDPERCENTIL,CDPERCENTIL)"),
      QStringLiteral("ORDER BY"),
      QStringLiteral("   CDPERCENTIL"),
  });
  t.interBase = Lines({
      QStringLiteral("SELECT"),
      QStringLiteral("   CDPERCENTIL,"),
      QStringLiteral("   NMPERCENTIL"),
      QStringLiteral("FROM"),
      QStringLiteral("   PERCENTIL,"),
      QStringLiteral("   PARAM(:P_CDPERCENTIL) P1"),
      QStringLiteral("WHERE"),
      QStringLiteral("   CDPERCENTIL = NVLSTR(P1.PARAM,CDPERCENTIL)"),
      QStringLiteral("ORDER BY"),
      QStringLiteral("   CDPERCENTIL"),
  });
  return t;
}

// The dialog's lookup: no ordering, the condition ends in six blanks, and the
// default, Oracle and SQL Server texts end with an empty line.
QueryTexts PercDestinoPercentil() {
  QueryTexts t;
  t.standard = Lines({
      QStringLiteral("SELECT"),
      QStringLiteral("   CDPERCENTIL,"),
      QStringLiteral("   NMPERCENTIL"),
      QStringLiteral("FROM"),
      QStringLiteral("   PERCENTIL"),
      QStringLiteral("WHERE"),
      QStringLiteral("   CDPERCENTIL = NVL(:P_CDPERC,CDPERCENTIL)      "),
      QString(),
  });
  t.oracle = t.standard;
  t.sqlServer = Lines({
      QStringLiteral("SELECT"),
      QStringLiteral("   CDPERCENTIL,"),
      QStringLiteral("   NMPERCENTIL"),
      QStringLiteral("FROM"),
      QStringLiteral("   PERCENTIL"),
      QStringLiteral("WHERE"),
      QStringLiteral("   CDPERCENTIL = ISNULL(:P_CDPERC,CDPERCENTIL)      "),
      QString(),
  });
  t.interBase = Lines({
      QStringLiteral("SELECT"),
      QStringLiteral("   CDPERCENTIL,"),
      QStringLiteral("   NMPERCENTIL"),
      QStringLiteral("FROM"),
      QStringLiteral("   PERCENTIL,"),
      QStringLiteral("   PARAM(:P_CDPERC) P1"),
      QStringLiteral("WHERE"),
      QStringLiteral("   CDPERCENTIL = NVLSTR(P1.PARAM,CDPERCENTIL)      "),
  });
  return t;
}

QueryTexts Same(const QString& text) { return QueryTexts{text, text, text, text}; }

QList<QuerySpec> Build() {
  return {
      {Screen::TabRelPeso, QStringLiteral("qryPesqRefe"), QStringLiteral("P_CDREFERENCIA"),
       &DatasetSpecByName(u"qryPesqRefe"), PesqRefe()},
      {Screen::TabRelPeso, QStringLiteral("qryPesqPercentil"), QStringLiteral("P_CDPERCENTIL"),
       &DatasetSpecByName(u"qryPesqPercentil"), PesqPercentil()},
      {Screen::PercDestino, QStringLiteral("qryPercentil"), QStringLiteral("P_CDPERC"),
       &DatasetSpecByName(u"qryPercentil"), PercDestinoPercentil()},
      {Screen::RelTabPeso, QStringLiteral("qryReferencia"), QString(),
       &DatasetSpecByName(u"qryReferencia"),
       Same(Lines({QStringLiteral("SELECT"), QStringLiteral("   CDREFEBIBL,"),
                   QStringLiteral("   NMREFEBIBL"), QStringLiteral("FROM"),
                   QStringLiteral("   REFEBIBL")}))},
      {Screen::RelTabPeso, QStringLiteral("qryPercentil"), QString(),
       &DatasetSpecByName(u"qryPercentil"),
       Same(Lines({QStringLiteral("SELECT"), QStringLiteral("   CDPERCENTIL,"),
                   QStringLiteral("   NMPERCENTIL"), QStringLiteral("FROM"),
                   QStringLiteral("   PERCENTIL")}))},
  };
}

}  // namespace

const QString& QueryTexts::For(SqlDialect dialect) const {
  switch (dialect) {
    case SqlDialect::Oracle:
      return oracle;
    case SqlDialect::SqlServer:
      return sqlServer;
    case SqlDialect::InterBase:
      return interBase;
    case SqlDialect::Standard:
      break;
  }
  return standard;
}

const QList<QuerySpec>& QuerySpecs() {
  static const QList<QuerySpec> specs = Build();
  return specs;
}

const QuerySpec& QuerySpecByName(Screen screen, QStringView name) {
  for (const QuerySpec& q : QuerySpecs()) {
    if (q.screen == screen && q.name == name) return q;
  }
  throw fw::Error(QStringLiteral("Consulta '%1' não está definida nesta tela.").arg(name));
}

const QueryTexts& QueryTextsOf(Screen screen, QStringView name) {
  return QuerySpecByName(screen, name).texts;
}

}  // namespace trp::model
