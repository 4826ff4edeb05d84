#include "ui/label_with_size.h"

Label_with_size::Label_with_size(const QString& text, QWidget* parent) : QLabel(text, parent) {}

QSize Label_with_size::sizeHint() const {
    QSize size = QLabel::sizeHint();
    size.setWidth(width_px);
    return size;
}

// The layout must not shrink the label below its width either, or the digits would jump.
QSize Label_with_size::minimumSizeHint() const {
    QSize size = QLabel::minimumSizeHint();
    size.setWidth(width_px);
    return size;
}
