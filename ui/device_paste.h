#pragma once
// Devices pasted into the device table from a spreadsheet: Ctrl+V and the context menu's
// "Вставить устройства". Rows that name no server go to the server selected in the server
// table. Nothing changes before the user has seen the preview and pressed "Добавить".

#include <functional>

class QWidget;
class QString;
class Table_devices;
class Table_servers;

// `added` runs after devices were added (the page then counts as modified).
void install_device_paste(Table_devices& devices, Table_servers& servers,
                          std::function<void()> added);

// Reads `text`, shows the preview, adds on consent; the number of devices added.
int paste_devices(QWidget* parent, const QString& text, int server);

void device_paste_clear_translation();
