#pragma once
// Tooltip paragraphs that several editing dialogs append to their own head sentences.

#include <QString>

const QString& hint_address_tail(); // context "server"
const QString& hint_port_tail();    // context "server"
const QString& hint_comment_tail(); // context "server_or_device"
const QString& hint_imei_tail();    // context "device"
const QString& hint_pin_tail();     // context "device"
const QString& hint_save_later();   // context "common"
const QString& caption_cancel();    // "Отмена", context "common"
const QString& caption_add();       // "Добавить"
const QString& caption_set();       // "Установить"

// The window flags of every editing dialog: title, system menu, minimise and close.
constexpr Qt::WindowFlags dialog_flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                         Qt::WindowCloseButtonHint;

void dialog_texts_clear_translation();
