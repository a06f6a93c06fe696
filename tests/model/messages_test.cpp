// The message catalogues: keys in order, texts unchanged, lookups.
#include "model/messages.h"

#include "framework/data/errors.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<const char*, const char*>>;

struct Catalogue {
  const char* name;
  const QStringList& (*lines)();
  Pairs expected;
};

const std::vector<Catalogue>& Catalogues() {
  static const std::vector<Catalogue> all = {
      {"TabRelPeso",
       &trp::model::TabRelPesoMessages,
       {
           {"Perc_deve", "Código deve ser informado. "},
           {"Perc_NCad", "Percentil não cadastrado."},
           {"ANO_DEVE", "Ano deve ser informado."},
           {"MES_DEVE", "Mês deve ser informado."},
           {"Alt_Deve", "Altura deve ser informada."},
           {"IDADE_JCAD", "Período de idade já cadastrado."},
           {"ALTURA_JCAD", "Altura já cadastrada."},
           {"Cod_Deve", "Código deve ser informado."},
           {"Refe_NCad", "Referência não cadastrada."},
           {"Refe_JCad", "Referência já cadastrada."},
           {"IdadeFim_Intervalo", "Mês deve estar entre 0 e 11."},
           {"PesMas_Deve", "Peso masculino deve ser informado."},
           {"Pesfem_Deve", "Peso feminino deve ser informado."},
           {"Perc_JCad", "Percentil já cadastrado."},
           {"Percentil", "Percentil"},
           {"Perc_Vazio", "Não há percentil cadastrado."},
           {"Referencia", "Referência"},
           {"NRefe_Cad", "Não há referência cadastrada."},
           {"ExcDadComuns",
            "Estes dados são comuns aos dois sexos. Ao excluir estes, os dados referentes ao "
            "outro sexo também serão excluídos. Confirma exclusão?"},
           {"NPossCad",
            "É necessário haver dados cadastrados para este percentil para fazer um cadastro "
            "automático a partir do mesmo."},
       }},
      {"RelTabPeso",
       &trp::model::RelTabPesoMessages,
       {
           {"Arq_Rel_Err",
            "O arquivo contendo a definição do relatório de código '%s' não foi encontrado no "
            "diretório '%s'."},
           {"NovoCaption", "Título do relatório"},
           {"NovoPrompt", "Informe o título do relatório:"},
           {"Referencia", "Referência"},
           {"Refe_Vazia", "Não há referência cadastrada."},
           {"Percentil", "Percentil"},
           {"Perc_Vazio", "Não há percentil cadastrado."},
           {"Refe_Deve", "Referência deve ser informada."},
           {"Perc_Deve", "Percentil deve ser informada."},
       }},
      {"PercDestino",
       &trp::model::PercDestinoMessages,
       {
           {"Perc_deve", "Percentil deve ser informado."},
           {"Perc_NCad", "Percentil não pode ser cadastrado."},
           {"Perc_Inv", "Percentil não cadastrado."},
       }},
      {"Standard",
       &trp::model::StandardMessages,
       {
           {"Excl", "Confirma exclusão?"},
           {"Canc", "Confirma cancelamento?"},
       }},
  };
  return all;
}

class MessageCatalogue : public testing::TestWithParam<Catalogue> {};

TEST_P(MessageCatalogue, LinesAreKeyBarTextInOrder) {
  const Catalogue& c = GetParam();
  const QStringList& lines = c.lines();
  ASSERT_EQ(lines.size(), qsizetype(c.expected.size()));
  for (size_t i = 0; i < c.expected.size(); ++i) {
    const QString line =
        QString::fromUtf8(c.expected[i].first) + u'|' + QString::fromUtf8(c.expected[i].second);
    EXPECT_EQ(lines[qsizetype(i)], line);
  }
  QStringList keys;
  for (const auto& [key, text] : c.expected) keys.append(QString::fromUtf8(key));
  EXPECT_EQ(trp::model::MessageKeys(lines), keys);
}

TEST_P(MessageCatalogue, MsgReturnsEachTextUnchanged) {
  const Catalogue& c = GetParam();
  for (const auto& [key, text] : c.expected) {
    EXPECT_EQ(trp::model::Msg(c.lines(), QString::fromUtf8(key)), QString::fromUtf8(text)) << key;
  }
}

INSTANTIATE_TEST_SUITE_P(All, MessageCatalogue, testing::ValuesIn(Catalogues()),
                         [](const testing::TestParamInfo<Catalogue>& info) {
                           return std::string(info.param.name);
                         });

TEST(MessageLookup, PercDeveOnTheMaintenanceScreenEndsInOneBlank) {
  const QString text = trp::model::Msg(trp::model::TabRelPesoMessages(), u"Perc_deve");
  EXPECT_TRUE(text.endsWith(u' '));
  EXPECT_FALSE(text.endsWith(QStringLiteral("  ")));
  // Cod_Deve is a separate entry with nearly the same text.
  EXPECT_EQ(text, trp::model::Msg(trp::model::TabRelPesoMessages(), u"Cod_Deve") + u' ');
}

TEST(MessageLookup, SameKeyDiffersPerScreen) {
  EXPECT_NE(trp::model::Msg(trp::model::TabRelPesoMessages(), u"Perc_deve"),
            trp::model::Msg(trp::model::PercDestinoMessages(), u"Perc_deve"));
  EXPECT_NE(trp::model::Msg(trp::model::TabRelPesoMessages(), u"Perc_NCad"),
            trp::model::Msg(trp::model::PercDestinoMessages(), u"Perc_NCad"));
}

TEST(MessageLookup, ReportFileErrorQuotesCodeAndDirectory) {
  const QString pattern = trp::model::Msg(trp::model::RelTabPesoMessages(), u"Arq_Rel_Err");
  EXPECT_EQ(pattern.count(QStringLiteral("%s")), 2);
  const QByteArray utf8 = pattern.toUtf8();
  const QString viaPrintf = QString::asprintf(utf8.constData(), "QEL536", "/opt/relatorios");
  const QString expected = QStringLiteral(
      "O arquivo contendo a definição do relatório de código 'QEL536' não foi encontrado no "
      "diretório '/opt/relatorios'.");
  EXPECT_EQ(viaPrintf, expected);
  QString viaArg = pattern;
  viaArg.replace(viaArg.indexOf(QStringLiteral("%s")), 2, QStringLiteral("QEL536"));
  viaArg.replace(viaArg.indexOf(QStringLiteral("%s")), 2, QStringLiteral("/opt/relatorios"));
  EXPECT_EQ(viaArg, expected);
}

TEST(MessageLookup, KeysAreExactAndSplitAtTheFirstBar) {
  const QStringList lines = {QStringLiteral("A|x|y"), QStringLiteral("AB|z"),
                             QStringLiteral("A|second")};
  EXPECT_EQ(trp::model::Msg(lines, u"A"), QStringLiteral("x|y"));
  EXPECT_EQ(trp::model::Msg(lines, u"AB"), QStringLiteral("z"));
  EXPECT_THROW(trp::model::Msg(trp::model::TabRelPesoMessages(), u"perc_deve"), fw::Error);
  try {
    trp::model::Msg(lines, u"Nada");
    FAIL() << "no error";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains(QStringLiteral("Nada"))) << e.what();
  }
}

}  // namespace
