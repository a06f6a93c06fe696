#pragma once
// The GUI implementation of the dialog seam: QMessageBox messages, pick list,
// tick list and find dialogs, a busy window and a help window. The host
// installs it: fw::InstallDialogs(&guiDialogs).

#include "framework/ui/dialogs.h"

#include <QPointer>

namespace fw {

class BusyWindow;

class GuiDialogs : public IDialogs {
 public:
  GuiDialogs();
  ~GuiDialogs() override;

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

  int BusyDepth() const { return busyDepth_; }
  BusyWindow* Busy() const;  // the indicator window while shown

 private:
  QPointer<BusyWindow> busy_;
  int busyDepth_ = 0;
};

}  // namespace fw
