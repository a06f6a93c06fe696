#include "services/rdm_tabrelpeso.h"

#include "framework/data/errors.h"

#include <QVariantList>

namespace trp::services {

QVariant EmptyPair() { return QVariantList{QVariant(), QVariant()}; }

fw::DataPacket PacketOf(const QVariant& value) {
  if (value.metaType() != QMetaType::fromType<fw::DataPacket>())
    throw fw::Error(
        QStringLiteral("O servidor de aplicação respondeu sem o pacote de dados "
                       "esperado; nada foi carregado."));
  return value.value<fw::DataPacket>();
}

PercPair PairOf(const QVariant& value) {
  const QVariantList list = value.toList();
  if (value.metaType() != QMetaType::fromType<QVariantList>() || list.size() != 2)
    throw fw::Error(
        QStringLiteral("O servidor de aplicação respondeu sem o par esperado "
                       "(percentis e linhas da tabela); nada foi carregado."));
  return PercPair{PacketOf(list.at(0)), PacketOf(list.at(1))};
}

namespace {
QVariant Delta(const fw::DeltaPacket& delta) { return QVariant::fromValue(delta); }
}  // namespace

fw::ServerResult RdmTabRelPeso::GetReferencia() {
  return net_.Call(QStringLiteral("GetReferencia"));
}
fw::ServerResult RdmTabRelPeso::GetPercIdade() { return net_.Call(QStringLiteral("GetPercIdade")); }
fw::ServerResult RdmTabRelPeso::GetPercAltura() {
  return net_.Call(QStringLiteral("GetPercAltura"));
}
fw::ServerResult RdmTabRelPeso::GetPercAlturaNCHS() {
  return net_.Call(QStringLiteral("GetPercAlturaNCHS"));
}

fw::ServerResult RdmTabRelPeso::GetValidaIdade(const QString& ref, const QString& perc, double anos,
                                               double meses) {
  return net_.Call(QStringLiteral("GetValidaIdade"), {ref, perc, anos, meses});
}
fw::ServerResult RdmTabRelPeso::GetValidaAltura(const QString& ref, const QString& perc,
                                                const QString& altura) {
  return net_.Call(QStringLiteral("GetValidaAltura"), {ref, perc, altura});
}
fw::ServerResult RdmTabRelPeso::GetValidaAlturaNCHS(const QString& ref, const QString& perc,
                                                    const QString& altura) {
  return net_.Call(QStringLiteral("GetValidaAlturaNCHS"), {ref, perc, altura});
}

fw::ServerResult RdmTabRelPeso::SetIdPesAlt(const fw::DeltaPacket& delta) {
  return net_.Call(QStringLiteral("SetIdPesAlt"), {Delta(delta)});
}
fw::ServerResult RdmTabRelPeso::SetPesAlt(const fw::DeltaPacket& delta) {
  return net_.Call(QStringLiteral("SetPesAlt"), {Delta(delta)});
}
fw::ServerResult RdmTabRelPeso::SetPesAltNCHS(const fw::DeltaPacket& delta) {
  return net_.Call(QStringLiteral("SetPesAltNCHS"), {Delta(delta)});
}

namespace {

// The group is sent only when there is one, as older servers expect three.
QVariantList Deletion(const QString& ref, const QString& perc, const QString& flag,
                      const QString& group) {
  QVariantList params{ref, perc, flag};
  if (!group.isEmpty()) params.append(group);
  return params;
}

}  // namespace

fw::ServerResult RdmTabRelPeso::DeletaIdade(const QString& ref, const QString& perc,
                                            const QString& flag, const QString& group) {
  return net_.Call(QStringLiteral("DeletaIdade"), Deletion(ref, perc, flag, group));
}
fw::ServerResult RdmTabRelPeso::DeletaAltura(const QString& ref, const QString& perc,
                                             const QString& flag, const QString& group) {
  return net_.Call(QStringLiteral("DeletaAltura"), Deletion(ref, perc, flag, group));
}
fw::ServerResult RdmTabRelPeso::DeletaAlturaNCHS(const QString& ref, const QString& perc,
                                                 const QString& flag, const QString& group) {
  return net_.Call(QStringLiteral("DeletaAlturaNCHS"), Deletion(ref, perc, flag, group));
}

fw::ServerResult RdmTabRelPeso::GetPercentilIdPesAlt(const QString& ref) {
  return net_.Call(QStringLiteral("GetPercentilIdPesAlt"), {ref});
}
fw::ServerResult RdmTabRelPeso::GetPercentilPesAlt(const QString& ref) {
  return net_.Call(QStringLiteral("GetPercentilPesAlt"), {ref});
}
fw::ServerResult RdmTabRelPeso::GetPercentilPesAltNCHS(const QString& ref) {
  return net_.Call(QStringLiteral("GetPercentilPesAltNCHS"), {ref});
}
fw::ServerResult RdmTabRelPeso::CopiaIdPesAlt(const QString& ref, const QString& destino,
                                              const QString& origem) {
  return net_.Call(QStringLiteral("CopiaIdPesAlt"), {ref, destino, origem});
}
fw::ServerResult RdmTabRelPeso::CopiaPesAlt(const QString& ref, const QString& destino,
                                            const QString& origem) {
  return net_.Call(QStringLiteral("CopiaPesAlt"), {ref, destino, origem});
}
fw::ServerResult RdmTabRelPeso::CopiaPesAltNCHS(const QString& ref, const QString& destino,
                                                const QString& origem) {
  return net_.Call(QStringLiteral("CopiaPesAltNCHS"), {ref, destino, origem});
}

fw::ServerResult RdmTabRelPeso::AvaliaMedida(const QVariantList& args) {
  return net_.Call(QStringLiteral("AvaliaMedida"), args);
}
fw::ServerResult RdmTabRelPeso::GetCurvaLms(const QString& ref, const QString& sexo,
                                            const QString& indicador) {
  return net_.Call(QStringLiteral("GetCurvaLms"), {ref, sexo, indicador});
}

}  // namespace trp::services
