#pragma once
// The message catalogues of this module's screens and the framework's standard
// catalogue, as the "key|text" lines a TMessages component loads. The key is
// the part before the first "|", the text the rest, unchanged (trailing blanks
// and "%s" placeholders included).

#include <QString>
#include <QStringList>
#include <QStringView>

namespace trp::model {

// msgPadrao of the maintenance screen TfrmTabRelPeso (20 keys).
const QStringList& TabRelPesoMessages();
// msgPadrao of the report selection screen TfrmRelTabPeso (9 keys).
const QStringList& RelTabPesoMessages();
// msgPadrao of the automatic registration dialog TfrmPercDestino (3 keys).
const QStringList& PercDestinoMessages();
// msgMensagensPadroes, the framework's standard catalogue (Excl, Canc).
const QStringList& StandardMessages();

// The text of `key` in `lines`, compared exactly; the first line with that key
// wins. Throws fw::Error naming the key when no line has it.
QString Msg(const QStringList& lines, QStringView key);

// The keys of `lines`, in order.
QStringList MessageKeys(const QStringList& lines);

}  // namespace trp::model
