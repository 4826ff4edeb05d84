#pragma once
// A label of a fixed width, so that a window does not change its size while numbers grow.

#include <QLabel>

class Label_with_size : public QLabel {
    Q_OBJECT
public:
    explicit Label_with_size(const QString& text, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    int width_px = 0; // set after construction
};
