#pragma once
// Tooltip paragraphs on server and device fields, shared by the table headers and the editing
// dialogs. Defined in config_display.cpp; cleared by config_display_clear_translation.

#include <QString>

const QString& hint_address_tail(); // context "server"
const QString& hint_port_tail();    // context "server"
const QString& hint_comment_tail(); // context "server_or_device"
const QString& hint_imei_tail();    // context "device"
