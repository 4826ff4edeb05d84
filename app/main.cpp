#include "foundation/command_line.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/dialog_about.h"
#include "ui/main_window.h"
#include "ui/qt_translations.h"

#include <QApplication>
#include <QIcon>
#include <memory>

static QString main_tr(const char* source) {
    return QCoreApplication::translate("main", source, nullptr, -1);
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(QStringLiteral(":/zelmo_upload.ico")));
    // Before the first box: even the platform checks' error box has Qt's buttons.
    load_qt_translations(app);

    if (!is_little_endian()) {
        show_error(main_tr("Неправильно скомпилировано: это не little endian."), nullptr);
        return 1;
    }
    if (!is_2complement()) {
        show_error(main_tr("Неправильно скомпилировано: у нас не доп. код."), nullptr);
        return 1;
    }

    // QApplication has taken its own options out of argv by now.
    const Command_line cl = parse_command_line(argc, argv);
    if (cl.outcome == Command_line::error) {
        show_error(cl.message, nullptr);
        return 2;
    }
    if (cl.outcome == Command_line::help) {
        show_info(QString::fromLatin1(program_name) + QStringLiteral(" --help"),
                  help_text(Dialog_about::about()), nullptr);
        return 0;
    }
    if (cl.log_file)
        log_file_name = cl.log_file;

    update_random_number_generator(0x0101);

    try {
        auto window = std::make_unique<Main_window>();
        window->show();
        app.exec();
    } catch (const std::exception& e) {
        show_exception(e, nullptr);
        return 3;
    } catch (...) {
        show_debug(0x0103, nullptr);
        return 3;
    }
    return 0;
}
