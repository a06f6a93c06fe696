#pragma once
// TMessages: a keyed message catalogue (a QObject named after the catalogue,
// e.g. `msgPadrao`). Lines are "key|text"; the text is everything after the
// first "|", kept exactly (trailing blanks and %s included).

#include "framework/ui/dialogs.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

namespace fw {

class TMessages : public QObject {
  Q_OBJECT
 public:
  explicit TMessages(const QString& name, QObject* parent = nullptr);

  // Replaces the catalogue. A line without "|" throws fw::Error naming the line;
  // a repeated key keeps its first text.
  void SetLines(const QStringList& lines);
  const QStringList& Lines() const { return lines_; }

  bool HasKey(const QString& key) const { return texts_.contains(key); }
  // The key's text, unchanged. Throws fw::Error naming the key and the
  // catalogue when the key is unknown.
  QString Msg(const QString& key) const;
  // Shows the key's text through the dialog seam and returns the button
  // pressed. Unknown key: fw::Error as Msg.
  MsgButton ShowMsg(const QString& key, MsgType type, MsgButtons buttons,
                    int helpContext = 0) const;

 private:
  QStringList lines_;
  QHash<QString, QString> texts_;
};

// The framework's standard catalogue (`msgMensagensPadroes`): "Excl" and "Canc".
const QStringList& StandardMessages();
// A text of the standard catalogue; fw::Error for an unknown key.
QString StandardMsg(const QString& key);

}  // namespace fw
