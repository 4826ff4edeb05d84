#include "ui/dialog_texts.h"

#include "foundation/err.h"

static Tr pin_tail(
    "device",
    "\n\nPIN-код (т.е. пароль) это короткая строка (длиной до шестнадцати\nсимволов), состоящая "
    "из символов printable ASCII (т.е. из цифр,\nлатинских букв, а также следующих "
    "символов:\n!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~). Устройство позволит закачать\nна него файл "
    "только если указанный здесь PIN-код в точности\nсовпадёт с тем, который хранится на этом "
    "устройстве.");
static Tr save_later(
    "common",
    "\n\nОбратите внимание, что конфигурация не записывается после каждого\nизменения в тот "
    "файл, из которого была прочитана - она записывается\nтолько после того, как вы нажмёте "
    "кнопку «Записать конфигурацию в\nфайл» в главном окне программы, и только в тот файл, "
    "который вы\nукажете.");
static Tr cancel("common", "Отмена");
static Tr add("server_or_device", "Добавить");
static Tr set("server_or_device", "Установить");

const QString& hint_pin_tail() {
    return pin_tail.tr();
}
const QString& hint_save_later() {
    return save_later.tr();
}
const QString& caption_cancel() {
    return cancel.tr();
}
const QString& caption_add() {
    return add.tr();
}
const QString& caption_set() {
    return set.tr();
}

void dialog_texts_clear_translation() {
    pin_tail.clear();
    save_later.clear();
    cancel.clear();
    add.clear();
    set.clear();
}
