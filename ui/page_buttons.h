#pragma once
// The buttons that the three pages of the main window share, and the one way they are made.

#include <QDialogButtonBox>

class QAbstractButton;

QAbstractButton* add_page_button(QDialogButtonBox* box, QDialogButtonBox::ButtonRole role,
                                 const char* name, const QString& caption, const QString& hint);
// "О программе" (HelpRole).
QAbstractButton* add_about_button(QDialogButtonBox* box);
// "Закрыть конфигурацию" and "Выйти" of the configuration and text pages.
QAbstractButton* add_close_cfg_button(QDialogButtonBox* box);
QAbstractButton* add_exit_safe_button(QDialogButtonBox* box);

void page_buttons_clear_translation();
