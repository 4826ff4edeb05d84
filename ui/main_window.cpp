#include "ui/main_window.h"

#include "foundation/err.h"
#include "ui/dialog_about.h"
#include "ui/interface.h"

#include <QKeyEvent>

Main_window::Main_window(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint) {
    init_fonts(*this);
    setWindowTitle(program_title());
    resize(80 * module_w, 30 * module_h);
}

void Main_window::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        Dialog_about about(this);
        about.exec();
        return;
    }
    QWidget::keyPressEvent(event);
}
