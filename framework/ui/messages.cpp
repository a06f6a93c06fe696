#include "framework/ui/messages.h"

#include "framework/data/errors.h"

namespace fw {

TMessages::TMessages(const QString& name, QObject* parent) : QObject(parent) {
  setObjectName(name);
}

void TMessages::SetLines(const QStringList& lines) {
  QHash<QString, QString> texts;
  for (const QString& line : lines) {
    const qsizetype bar = line.indexOf(QLatin1Char('|'));
    if (bar < 0)
      throw Error(QStringLiteral("Linha sem \"|\" no catálogo de mensagens '%1': \"%2\".")
                      .arg(objectName(), line));
    const QString key = line.left(bar);
    if (!texts.contains(key)) texts.insert(key, line.mid(bar + 1));
  }
  lines_ = lines;
  texts_ = std::move(texts);
}

QString TMessages::Msg(const QString& key) const {
  auto it = texts_.constFind(key);
  if (it == texts_.constEnd())
    throw Error(
        QStringLiteral("Mensagem '%1' não encontrada no catálogo '%2'.").arg(key, objectName()));
  return *it;
}

MsgButton TMessages::ShowMsg(const QString& key, MsgType type, MsgButtons buttons,
                             int helpContext) const {
  return Dialogs().Message(Msg(key), type, buttons, helpContext);
}

const QStringList& StandardMessages() {
  static const QStringList lines{QStringLiteral("Excl|Confirma exclusão?"),
                                 QStringLiteral("Canc|Confirma cancelamento?")};
  return lines;
}

QString StandardMsg(const QString& key) {
  for (const QString& line : StandardMessages())
    if (line.section(QLatin1Char('|'), 0, 0) == key) return line.section(QLatin1Char('|'), 1);
  throw Error(
      QStringLiteral("Mensagem '%1' não encontrada no catálogo 'msgMensagensPadroes'.").arg(key));
}

}  // namespace fw
