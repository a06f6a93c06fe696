#pragma once
// The remote data module rdmTabRelPeso as this module sees it: one method per
// server method, with its arguments in order and typed, over a connection the
// screen owns. Each call returns the raw outcome, which the caller hands to
// fw::CheckResultServ; nothing here shows messages or aborts.

#include "framework/data/packet.h"
#include "framework/net/netconnection.h"

#include <QString>
#include <QVariant>

namespace trp::services {

// The server name every connection of this module uses.
inline constexpr const char* kServerName = "Qel53600.rdmTabRelPeso";

// The answer of GetPercIdade, GetPercAltura and GetPercAlturaNCHS: element 0
// the table's percentile list, element 1 its rows, both for all references.
struct PercPair {
  fw::DataPacket percentis;
  fw::DataPacket linhas;
};

// A pair as it is kept in a variant: a list of two variants. EmptyPair() holds
// two empty elements, ready to be replaced whole by the server's answer.
QVariant EmptyPair();
// Reads a pair from a variant. Throws fw::Error (a sentence for the user)
// when the value is not a list of two data packets.
PercPair PairOf(const QVariant& value);
// Reads a data packet from a variant. Throws fw::Error when it holds none.
fw::DataPacket PacketOf(const QVariant& value);

// Flag of the Deleta methods: "T" deletes the rows of every percentile of
// the reference, an empty flag those of one percentile.
inline constexpr const char* kDeletaReferencia = "T";
inline constexpr const char* kDeletaPercentil = "";

class RdmTabRelPeso {
 public:
  explicit RdmTabRelPeso(fw::TNetConnection& net) : net_(net) {}

  fw::TNetConnection& Connection() const { return net_; }

  // Lists.
  fw::ServerResult GetReferencia();
  fw::ServerResult GetPercIdade();
  fw::ServerResult GetPercAltura();
  fw::ServerResult GetPercAlturaNCHS();

  // Uniqueness checks: the rows already stored with that key.
  fw::ServerResult GetValidaIdade(const QString& ref, const QString& perc, double anos,
                                  double meses);
  fw::ServerResult GetValidaAltura(const QString& ref, const QString& perc, const QString& altura);
  fw::ServerResult GetValidaAlturaNCHS(const QString& ref, const QString& perc,
                                       const QString& altura);

  // Saving a dataset's change log.
  fw::ServerResult SetIdPesAlt(const fw::DeltaPacket& delta);
  fw::ServerResult SetPesAlt(const fw::DeltaPacket& delta);
  fw::ServerResult SetPesAltNCHS(const fw::DeltaPacket& delta);

  // Deleting the rows of a reference or of one of its percentiles. `group`
  // names the user action the call is part of (the three tables of one
  // reference), so the history restores them together; empty: none.
  fw::ServerResult DeletaIdade(const QString& ref, const QString& perc, const QString& flag,
                               const QString& group = {});
  fw::ServerResult DeletaAltura(const QString& ref, const QString& perc, const QString& flag,
                                const QString& group = {});
  fw::ServerResult DeletaAlturaNCHS(const QString& ref, const QString& perc, const QString& flag,
                                    const QString& group = {});

  // Copy destinations and copies of one percentile's rows onto another.
  fw::ServerResult GetPercentilIdPesAlt(const QString& ref);
  fw::ServerResult GetPercentilPesAlt(const QString& ref);
  fw::ServerResult GetPercentilPesAltNCHS(const QString& ref);
  fw::ServerResult CopiaIdPesAlt(const QString& ref, const QString& destino, const QString& origem);
  fw::ServerResult CopiaPesAlt(const QString& ref, const QString& destino, const QString& origem);
  fw::ServerResult CopiaPesAltNCHS(const QString& ref, const QString& destino,
                                   const QString& origem);

  // A child's measurement on the kept references: the nine arguments of the
  // server's AvaliaMedida in order (sexo, idade_dias, nascimento, medicao,
  // peso, estatura, medida, pc, referencias); a packet comes back.
  fw::ServerResult AvaliaMedida(const QVariantList& args);
  // The percentile curves of an age indicator from a reference's L, M and S.
  fw::ServerResult GetCurvaLms(const QString& ref, const QString& sexo, const QString& indicador);

 private:
  fw::TNetConnection& net_;
};

}  // namespace trp::services
