#include "app/gui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace tarvu {

QTranslator* InstallQtRussianTexts(QCoreApplication& app) {
    const QStringList folders = {
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
        QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
    };
    // Russian whatever the system's language: the program's own texts are Russian too.
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    auto translator = std::make_unique<QTranslator>(&app);
    for (const QString& folder : folders) {
        if (translator->load(russian, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator.get());
            return translator.release();  // owned by the application, its parent
        }
    }
    return nullptr;
}

}  // namespace tarvu
