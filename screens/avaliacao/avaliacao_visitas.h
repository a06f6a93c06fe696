#pragma once
// A child's visits in the user's own CSV file: one line per visit,
// "data;peso;medida;estatura;pc" (data dd/mm/aaaa or aaaa-mm-dd, decimal
// comma or point, medida D deitado or P em pé, empty cells allowed), the
// header line optional. The file stays the user's: nothing of it goes to
// the server.

#include "screens/avaliacao/avaliacao_laudo.h"

#include <QByteArray>
#include <QString>

namespace trp::avaliacao {

// The visits of `csv` in date order (ages left at 0). On a malformed line
// returns false with `erro` naming the line and what is wrong, and leaves
// `visitas` untouched.
bool LeVisitas(const QByteArray& csv, QList<VisitaLaudo>& visitas, QString& erro);

// The visits as such a file (header, dd/mm/aaaa, decimal comma).
QByteArray EscreveVisitas(const QList<VisitaLaudo>& visitas);

}  // namespace trp::avaliacao
