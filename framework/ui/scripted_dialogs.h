#pragma once
// A dialog seam for tests: answers questions from a queue, picks records by
// key value, and records every message, pick, find, busy show/hide and help
// request. Install it with fw::InstallDialogs (or the ScopedDialogs helper).
//
//   fw::ScriptedDialogs dlg;
//   fw::ScopedDialogs use(dlg);
//   dlg.QueueAnswer(fw::mbYes);                  // next question: Yes
//   dlg.QueuePick("CDREFEBIBL", "02");           // next pick list: record 02
//   ... act ...
//   EXPECT_EQ(dlg.LastMessage().text, "Confirma exclusão?");
//
// A question (buttons other than OK alone) with no queued answer is answered
// No (or Cancel when No is not offered) and counted in Unanswered().

#include "framework/ui/dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

namespace fw {

class ScriptedDialogs : public IDialogs {
 public:
  struct Shown {
    QString text;
    MsgType type = MsgType::Information;
    MsgButtons buttons = mbOK;
    int helpContext = 0;
    MsgButton answer = mbNone;
    QString detail;
  };
  struct BusyEvent {
    bool show = false;
    int kind = 0;  // the kind shown; for a hide, the kind of the show it ends
  };
  struct PickSeen {
    QString kind;  // "Pesquisar", "PesquisaLista" or "Procura"
    QString title;
    int recordCount = 0;
  };

  // --- script
  void QueueAnswer(MsgButton answer);
  // Next PickRecord: locate `value` in `field` (a value not found cancels).
  void QueuePick(const QString& field, const QString& value);
  // Next PickRecord: the visible row `row`.
  void QueuePickRow(int row);
  void QueuePickCancel();
  // Next PickRecords: tick the records whose key field has these values.
  void QueuePickList(const QStringList& keyValues);
  void QueuePickListCancel();
  // Next Find: search `value` in `field` as the find dialog does.
  void QueueFind(const QString& field, const QString& value);
  void QueueFindCancel();
  // Next InputText: answers `text`; QueueInputCancel cancels. Unscripted
  // calls accept the offered text.
  void QueueInput(const QString& text);
  void QueueInputCancel();
  // Next SaveFileName: answers `path`; unscripted calls cancel.
  void QueueSaveFile(const QString& path);
  // Next OpenFileName: answers `path`; unscripted calls cancel.
  void QueueOpenFile(const QString& path);

  // --- record
  const QList<Shown>& Messages() const { return messages_; }
  Shown LastMessage() const;  // an empty Shown when none
  QStringList MessageTexts() const;
  const QList<BusyEvent>& BusyEvents() const { return busy_; }
  int BusyDepth() const { return busyDepth_; }
  const QList<PickSeen>& Picks() const { return picks_; }
  // The columns the last Find offered (empty: every visible field).
  const QList<FindColumn>& LastFindColumns() const { return findColumns_; }
  const QList<QPair<QString, int>>& HelpRequests() const { return help_; }
  int Unanswered() const { return unanswered_; }
  int PendingScript() const;  // queued answers and picks not used yet
  void Clear();               // forgets records and script

  // --- IDialogs
  MsgButton Message(const QString& text, MsgType type, MsgButtons buttons,
                    int helpContext) override;
  bool PickRecord(const PickRequest& request) override;
  bool PickRecords(const PickRequest& request, const QString& keyField, QList<int>& rows) override;
  bool Find(Dataset* dataset, const QString& title, const QList<FindColumn>& columns) override;
  void BusyShow(QWidget* window, int kind) override;
  void BusyHide() override;
  void ShowHelp(const QString& helpFile, int helpContext) override;
  bool InputText(const QString& caption, const QString& prompt, QString& value) override;
  bool SaveFileName(const QString& caption, const QString& filter, QString& path) override;
  bool OpenFileName(const QString& caption, const QString& filter, QString& path) override;
  MsgButton MessageDetail(const QString& text, const QString& detail, MsgType type,
                          MsgButtons buttons, int helpContext) override;
  void ShowStatus(const QString& text) override;
  // Every status note, in order.
  const QStringList& Statuses() const { return statuses_; }
  // The caption and prompt of every InputText, "caption|prompt".
  const QStringList& Inputs() const { return inputs_; }

 private:
  struct PickStep {
    bool cancel = false;
    int row = -1;
    QString field;
    QString value;
    QStringList values;
  };
  std::deque<MsgButton> answers_;
  std::deque<PickStep> picks1_, pickLists_, finds_;
  QList<Shown> messages_;
  QList<BusyEvent> busy_;
  QList<int> busyKinds_;
  QList<PickSeen> picks_;
  QList<FindColumn> findColumns_;
  QList<QPair<QString, int>> help_;
  std::deque<std::optional<QString>> inputAnswers_;
  std::deque<QString> saveAnswers_;
  std::deque<QString> openAnswers_;
  QStringList inputs_;
  QStringList statuses_;
  int busyDepth_ = 0;
  int unanswered_ = 0;
};

// Installs a dialog implementation for the lifetime of this object and puts
// the previous one back afterwards.
class ScopedDialogs {
 public:
  explicit ScopedDialogs(IDialogs& dialogs);
  ~ScopedDialogs();
  ScopedDialogs(const ScopedDialogs&) = delete;
  ScopedDialogs& operator=(const ScopedDialogs&) = delete;

 private:
  IDialogs* previous_;
};

}  // namespace fw
