#include "model/messages.h"

#include "framework/data/errors.h"

namespace trp::model {

const QStringList& TabRelPesoMessages() {
  static const QStringList lines = {
      QStringLiteral("Perc_deve|Código deve ser informado. "),
      QStringLiteral("Perc_NCad|Percentil não cadastrado."),
      QStringLiteral("ANO_DEVE|Ano deve ser informado."),
      QStringLiteral("MES_DEVE|Mês deve ser informado."),
      QStringLiteral("Alt_Deve|Altura deve ser informada."),
      QStringLiteral("IDADE_JCAD|Período de idade já cadastrado."),
      QStringLiteral("ALTURA_JCAD|Altura já cadastrada."),
      QStringLiteral("Cod_Deve|Código deve ser informado."),
      QStringLiteral("Refe_NCad|Referência não cadastrada."),
      QStringLiteral("Refe_JCad|Referência já cadastrada."),
      QStringLiteral("IdadeFim_Intervalo|Mês deve estar entre 0 e 11."),
      QStringLiteral("PesMas_Deve|Peso masculino deve ser informado."),
      QStringLiteral("Pesfem_Deve|Peso feminino deve ser informado."),
      QStringLiteral("Perc_JCad|Percentil já cadastrado."),
      QStringLiteral("Percentil|Percentil"),
      QStringLiteral("Perc_Vazio|Não há percentil cadastrado."),
      QStringLiteral("Referencia|Referência"),
      QStringLiteral("NRefe_Cad|Não há referência cadastrada."),
      QStringLiteral("ExcDadComuns|Estes dados são comuns aos dois sexos. Ao excluir estes, os "
                     "dados referentes ao outro sexo também serão excluídos. Confirma exclusão?"),
      QStringLiteral("NPossCad|É necessário haver dados cadastrados para este percentil para "
                     "fazer um cadastro automático a partir do mesmo."),
  };
  return lines;
}

const QStringList& RelTabPesoMessages() {
  static const QStringList lines = {
      QStringLiteral("Arq_Rel_Err|O arquivo contendo a definição do relatório de código '%s' não "
                     "foi encontrado no diretório '%s'."),
      QStringLiteral("NovoCaption|Título do relatório"),
      QStringLiteral("NovoPrompt|Informe o título do relatório:"),
      QStringLiteral("Referencia|Referência"),
      QStringLiteral("Refe_Vazia|Não há referência cadastrada."),
      QStringLiteral("Percentil|Percentil"),
      QStringLiteral("Perc_Vazio|Não há percentil cadastrado."),
      QStringLiteral("Refe_Deve|Referência deve ser informada."),
      QStringLiteral("Perc_Deve|Percentil deve ser informada."),
  };
  return lines;
}

const QStringList& PercDestinoMessages() {
  static const QStringList lines = {
      QStringLiteral("Perc_deve|Percentil deve ser informado."),
      QStringLiteral("Perc_NCad|Percentil não pode ser cadastrado."),
      QStringLiteral("Perc_Inv|Percentil não cadastrado."),
  };
  return lines;
}

const QStringList& StandardMessages() {
  static const QStringList lines = {
      QStringLiteral("Excl|Confirma exclusão?"),
      QStringLiteral("Canc|Confirma cancelamento?"),
  };
  return lines;
}

QString Msg(const QStringList& lines, QStringView key) {
  for (const QString& line : lines) {
    const qsizetype bar = line.indexOf(u'|');
    if (bar >= 0 && QStringView(line).first(bar) == key) return line.mid(bar + 1);
  }
  throw fw::Error(QStringLiteral("Mensagem '%1' não encontrada no catálogo.").arg(key));
}

QStringList MessageKeys(const QStringList& lines) {
  QStringList keys;
  keys.reserve(lines.size());
  for (const QString& line : lines) keys.append(line.section(u'|', 0, 0));
  return keys;
}

}  // namespace trp::model
