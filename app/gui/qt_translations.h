#pragma once
// Qt's own texts in Russian, like every text of ours: the standard items of the trace field's
// menu, the file dialogs, the buttons of message boxes.

class QCoreApplication;
class QTranslator;

namespace tarvu {

// Installs Qt's Russian translation on `app` (Qt's translations folder, else a "translations"
// folder beside the program, as Windows deployments lay it out). Returns the translator, which
// `app` owns; null, and Qt's English texts stay, when no translation is found.
QTranslator* InstallQtRussianTexts(QCoreApplication& app);

}  // namespace tarvu
