#pragma once
// Qt's own texts (standard buttons, the file and print dialogs) in
// Portuguese: the pt_BR catalogues of the qtbase translations, read from
// Qt's translations folder.

class QCoreApplication;
class QTranslator;

namespace host {

// Installs the catalogues on `app`, which owns them. Returns the translator,
// or nullptr (Qt's English stays) when they are not installed; the program
// works without them.
QTranslator* InstallQtTranslations(QCoreApplication& app);

}  // namespace host
