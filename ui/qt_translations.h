#pragma once
// Qt's own texts (file dialogs, standard buttons, the context menus of text fields) in
// Russian, like the program's own, whatever the system locale says.

class QCoreApplication;

// Installs Qt's Russian catalogue into `app`; call before the first window. False (and a log
// line) when the catalogue is not installed: Qt's texts then stay in English.
bool load_qt_translations(QCoreApplication& app);
