#pragma once
// Tooltip paragraphs that several editing dialogs append to their own head sentences.

#include "config/field_hints.h"

#include <QString>

const QString& hint_pin_tail();   // context "device"
const QString& hint_save_later(); // context "common"
const QString& caption_cancel();  // "Отмена", context "common"
const QString& caption_add();     // "Добавить"
const QString& caption_set();     // "Установить"

// The window flags of the editing and run dialogs: title, system menu, minimise and close.
constexpr Qt::WindowFlags dialog_flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                         Qt::WindowCloseButtonHint;

void dialog_texts_clear_translation();
