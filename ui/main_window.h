#pragma once
// The program's one top-level window. For now a plain window with the About box on F1.

#include <QWidget>

class Main_window : public QWidget {
    Q_OBJECT
public:
    explicit Main_window(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
