#pragma once
// The help window: shows the HTML page of a help context ("Qelhelp.hlp"
// context 11153600 -> <help dir>/11153600.html) in a text browser.

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace host {

class HelpWindow : public QWidget {
  Q_OBJECT
 public:
  // `helpDir` holds the pages (":/help", the pages built into the program).
  explicit HelpWindow(QString helpDir, QWidget* parent = nullptr);

  // Shows the page of `context` (0: the index) and raises the window. A help
  // file other than Qelhelp.hlp, or a context without a page, shows a page
  // saying so; nothing throws.
  void ShowHelp(const QString& helpFile, int context);

  // The page file a context maps to (it may not exist).
  QString PagePath(int context) const;
  QTextBrowser* Browser() const { return browser_; }
  int CurrentContext() const { return context_; }

 private:
  QString helpDir_;
  QTextBrowser* browser_;
  int context_ = -1;
};

}  // namespace host
