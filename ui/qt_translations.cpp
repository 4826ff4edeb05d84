#include "ui/qt_translations.h"

#include "foundation/err.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool load_qt_translations(QCoreApplication& app) {
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    // Owned by the application, which keeps it installed until it is destroyed.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ru"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        log(QCoreApplication::translate("main",
                                        "Не найден каталог переводов Qt «qtbase_ru.qm» в "
                                        "папке «%1»: надписи самой Qt останутся английскими.")
                .arg(folder));
        return false;
    }
    return true;
}
