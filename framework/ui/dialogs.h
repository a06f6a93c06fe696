#pragma once
// The dialog seam: every message, question, pick list, find dialog, busy
// indicator and help page goes through one interface. The host installs the
// GUI implementation (real Qt dialogs, fw::GuiDialogs); tests install
// fw::ScriptedDialogs, which records what was shown and answers as told.
// Module code never calls QMessageBox directly.

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace fw {

class Dataset;

enum class MsgType { Warning, Error, Information, Confirmation };

// Buttons of a message; combine with |. The pressed button comes back as one
// of them (mbNone when the dialog was closed without a button).
// mbDefaultNo is no button: added to Yes and No it makes No the default
// (Enter) and the Escape answer, for questions whose Yes loses data.
enum MsgButton : int { mbNone = 0, mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8, mbDefaultNo = 16 };
using MsgButtons = int;
constexpr MsgButtons mbYesNo = mbYes | mbNo;
// A deletion or a discarding question: Enter answers No.
constexpr MsgButtons mbYesNoDefaultNo = mbYes | mbNo | mbDefaultNo;
constexpr MsgButtons mbOKCancel = mbOK | mbCancel;

// Busy indicator kinds and their captions ("Carregando...", "Gravando...",
// "Verificando..."; any other kind shows "Aguarde...").
enum BusyKind : int { bkLoading = 0, bkSaving = 1, bkVerifying = 6 };
QString BusyCaption(int kind);

// Pick lists: the dataset's visible records under a title.
struct PickRequest {
  Dataset* dataset = nullptr;
  QString title;
  QStringList fieldNames;  // columns to show; empty: every visible field
};

// A column the find dialog offers: the field searched and the label shown
// (the grid's title, so the user sees the name the grid uses).
struct FindColumn {
  QString fieldName;
  QString label;
  friend bool operator==(const FindColumn&, const FindColumn&) = default;
};

class IDialogs {
 public:
  virtual ~IDialogs() = default;

  // Shows `text` in a modal dialog of `type` with `buttons`; returns the
  // button pressed (mbNone when closed otherwise).
  virtual MsgButton Message(const QString& text, MsgType type, MsgButtons buttons,
                            int helpContext) = 0;
  // As Message, with `detail` shown under the text (what the question is
  // about). The default appends it to the text.
  virtual MsgButton MessageDetail(const QString& text, const QString& detail, MsgType type,
                                  MsgButtons buttons, int helpContext);
  // An error message with an OK button.
  virtual void ShowError(const QString& text) { Message(text, MsgType::Error, mbOK, 0); }

  // Pick one record (the dataset is open and not empty). Returns true when the
  // user picked one, which is then the dataset's current record; false leaves
  // the current record where it was.
  virtual bool PickRecord(const PickRequest& request) = 0;
  // Tick several records; `rows` holds the visible row numbers ticked on
  // entry (pre-ticked) and, on true, those chosen, ascending. False: cancelled,
  // `rows` untouched.
  virtual bool PickRecords(const PickRequest& request, const QString& keyField,
                           QList<int>& rows) = 0;
  // Find a record by a chosen column's value and make it current. Returns
  // whether a record was found and positioned; false when cancelled.
  // `columns` are offered in their order; empty: every visible field by its
  // DisplayLabel.
  virtual bool Find(Dataset* dataset, const QString& title, const QList<FindColumn>& columns) = 0;

  // Busy indicator over `window` (may be null). Shows nest: each show needs a
  // hide; a hide without a show is ignored.
  virtual void BusyShow(QWidget* window, int kind) = 0;
  virtual void BusyHide() = 0;

  // Opens the help page of `context` in `helpFile`.
  virtual void ShowHelp(const QString& helpFile, int helpContext) = 0;

  // Asks for one line of text under `caption` with `prompt`, offering
  // `value`. True with the typed text in `value`; false (cancelled) leaves
  // `value` as it was. The default cancels.
  virtual bool InputText(const QString& caption, const QString& prompt, QString& value);
  // A short note of what an action did, in the main window's status bar;
  // never asks anything. The default does nothing.
  virtual void ShowStatus(const QString& text);
  // Asks where to save a file, offering `path`; `filter` as in QFileDialog
  // ("PDF (*.pdf)"). A bare name is offered in the folder last chosen (at
  // first the user's documents). True with the chosen path in `path`. The
  // default cancels.
  virtual bool SaveFileName(const QString& caption, const QString& filter, QString& path);
  // Asks which existing file to open, as SaveFileName. The default cancels.
  virtual bool OpenFileName(const QString& caption, const QString& filter, QString& path);
};

// A file name made of `text` ("Tabela de Relação Peso/Altura" gives
// "Tabela de Relação Peso_Altura") plus `suffix`: characters no file system
// takes become "_"; `fallback` when nothing is left.
QString FileNameOf(const QString& text, const QString& fallback, const QString& suffix);

// Installs the implementation every screen uses (not owned; nullptr restores
// the built-in fallback, which answers No/Cancel and prints to stderr).
void InstallDialogs(IDialogs* dialogs);
// The installed implementation; never null.
IDialogs& Dialogs();
// The installed implementation, nullptr when none was installed.
IDialogs* InstalledDialogs();

}  // namespace fw
