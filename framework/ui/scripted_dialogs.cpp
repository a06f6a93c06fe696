#include "framework/ui/scripted_dialogs.h"

#include "framework/data/dataset.h"
#include "framework/data/errors.h"
#include "framework/ui/find_locate.h"

namespace fw {

void ScriptedDialogs::QueueAnswer(MsgButton answer) { answers_.push_back(answer); }

void ScriptedDialogs::QueuePick(const QString& field, const QString& value) {
  PickStep step;
  step.field = field;
  step.value = value;
  picks1_.push_back(step);
}

void ScriptedDialogs::QueuePickRow(int row) {
  PickStep step;
  step.row = row;
  picks1_.push_back(step);
}

void ScriptedDialogs::QueuePickCancel() {
  PickStep step;
  step.cancel = true;
  picks1_.push_back(step);
}

void ScriptedDialogs::QueuePickList(const QStringList& keyValues) {
  PickStep step;
  step.values = keyValues;
  pickLists_.push_back(step);
}

void ScriptedDialogs::QueuePickListCancel() {
  PickStep step;
  step.cancel = true;
  pickLists_.push_back(step);
}

void ScriptedDialogs::QueueFind(const QString& field, const QString& value) {
  PickStep step;
  step.field = field;
  step.value = value;
  finds_.push_back(step);
}

void ScriptedDialogs::QueueFindCancel() {
  PickStep step;
  step.cancel = true;
  finds_.push_back(step);
}

ScriptedDialogs::Shown ScriptedDialogs::LastMessage() const {
  return messages_.isEmpty() ? Shown{} : messages_.last();
}

QStringList ScriptedDialogs::MessageTexts() const {
  QStringList texts;
  for (const Shown& m : messages_) texts << m.text;
  return texts;
}

int ScriptedDialogs::PendingScript() const {
  return int(answers_.size() + picks1_.size() + pickLists_.size() + finds_.size() +
             inputAnswers_.size() + saveAnswers_.size());
}

void ScriptedDialogs::Clear() {
  answers_.clear();
  picks1_.clear();
  pickLists_.clear();
  finds_.clear();
  inputAnswers_.clear();
  saveAnswers_.clear();
  inputs_.clear();
  statuses_.clear();
  messages_.clear();
  busy_.clear();
  busyKinds_.clear();
  picks_.clear();
  findColumns_.clear();
  help_.clear();
  busyDepth_ = 0;
  unanswered_ = 0;
}

MsgButton ScriptedDialogs::Message(const QString& text, MsgType type, MsgButtons buttons,
                                   int helpContext) {
  Shown shown{text, type, buttons, helpContext, mbNone, {}};
  const bool question = (buttons & ~mbOK) != 0;
  if (!question) {
    shown.answer = (buttons & mbOK) ? mbOK : mbNone;
  } else if (!answers_.empty()) {
    shown.answer = answers_.front();
    answers_.pop_front();
  } else {
    ++unanswered_;
    shown.answer = (buttons & mbNo) ? mbNo : (buttons & mbCancel) ? mbCancel : mbNone;
  }
  messages_ << shown;
  return shown.answer;
}

MsgButton ScriptedDialogs::MessageDetail(const QString& text, const QString& detail, MsgType type,
                                         MsgButtons buttons, int helpContext) {
  const MsgButton answer = Message(text, type, buttons, helpContext);
  messages_.last().detail = detail;
  return answer;
}

void ScriptedDialogs::ShowStatus(const QString& text) { statuses_ << text; }

bool ScriptedDialogs::PickRecord(const PickRequest& request) {
  Dataset* ds = request.dataset;
  picks_ << PickSeen{QStringLiteral("Pesquisar"), request.title, ds ? ds->RecordCount() : 0};
  if (picks1_.empty()) {
    ++unanswered_;
    return false;
  }
  PickStep step = picks1_.front();
  picks1_.pop_front();
  if (step.cancel || !ds) return false;
  if (step.row >= 0) {
    if (step.row >= ds->RecordCount()) return false;
    ds->SetRecNo(step.row);
    return true;
  }
  return ds->Locate(step.field, step.value);
}

bool ScriptedDialogs::PickRecords(const PickRequest& request, const QString& keyField,
                                  QList<int>& rows) {
  Dataset* ds = request.dataset;
  picks_ << PickSeen{QStringLiteral("PesquisaLista"), request.title, ds ? ds->RecordCount() : 0};
  if (pickLists_.empty()) {
    ++unanswered_;
    return false;
  }
  PickStep step = pickLists_.front();
  pickLists_.pop_front();
  if (step.cancel || !ds) return false;
  const int column = ds->FieldByName(keyField)->Index();
  QList<int> chosen;
  for (int row = 0; row < ds->RecordCount(); ++row) {
    const QVariant v = ds->ValueAt(row, column);
    if (step.values.contains(v.toString())) chosen << row;
  }
  rows = chosen;
  return true;
}

bool ScriptedDialogs::Find(Dataset* dataset, const QString& title,
                           const QList<FindColumn>& columns) {
  picks_ << PickSeen{QStringLiteral("Procura"), title, dataset ? dataset->RecordCount() : 0};
  findColumns_ = columns;
  if (finds_.empty()) {
    ++unanswered_;
    return false;
  }
  PickStep step = finds_.front();
  finds_.pop_front();
  if (step.cancel || !dataset) return false;
  if (LocateForFind(*dataset, step.field, step.value)) return true;
  Message(QStringLiteral("Registro não encontrado."), MsgType::Information, mbOK, 0);
  return false;
}

void ScriptedDialogs::BusyShow(QWidget*, int kind) {
  ++busyDepth_;
  busyKinds_ << kind;
  busy_ << BusyEvent{true, kind};
}

void ScriptedDialogs::BusyHide() {
  if (busyDepth_ == 0) return;  // a hide without a show is ignored, as in the GUI
  --busyDepth_;
  busy_ << BusyEvent{false, busyKinds_.takeLast()};
}

void ScriptedDialogs::ShowHelp(const QString& helpFile, int helpContext) {
  help_ << qMakePair(helpFile, helpContext);
}

ScopedDialogs::ScopedDialogs(IDialogs& dialogs) : previous_(InstalledDialogs()) {
  InstallDialogs(&dialogs);
}

ScopedDialogs::~ScopedDialogs() { InstallDialogs(previous_); }

void ScriptedDialogs::QueueInput(const QString& text) { inputAnswers_.emplace_back(text); }

void ScriptedDialogs::QueueInputCancel() { inputAnswers_.emplace_back(std::nullopt); }

void ScriptedDialogs::QueueSaveFile(const QString& path) { saveAnswers_.push_back(path); }
void ScriptedDialogs::QueueOpenFile(const QString& path) { openAnswers_.push_back(path); }

bool ScriptedDialogs::OpenFileName(const QString&, const QString&, QString& path) {
  if (openAnswers_.empty()) {
    ++unanswered_;
    return false;
  }
  path = openAnswers_.front();
  openAnswers_.pop_front();
  return true;
}

bool ScriptedDialogs::InputText(const QString& caption, const QString& prompt, QString& value) {
  inputs_ << caption + QLatin1Char('|') + prompt;
  if (inputAnswers_.empty()) return true;
  const std::optional<QString> answer = inputAnswers_.front();
  inputAnswers_.pop_front();
  if (!answer) return false;
  value = *answer;
  return true;
}

bool ScriptedDialogs::SaveFileName(const QString&, const QString&, QString& path) {
  if (saveAnswers_.empty()) {
    ++unanswered_;
    return false;
  }
  path = saveAnswers_.front();
  saveAnswers_.pop_front();
  return true;
}

}  // namespace fw
