#include "ui/dialog_texts.h"

#include "foundation/err.h"

static Tr address_tail("server",
                       "\n\nВ качестве адреса может выступать либо доменное имя компьютера,\nлибо "
                       "IP-адрес (IPv4 dotted notation или IPv6).");
static Tr port_tail(
    "server",
    "\n\nНа одном компьютере может одновременно работать много программ,\nобменивающихся через "
    "сеть по протоколу TCP/IP. Чтобы различать,\nкоторой из программ на компьютере адресована "
    "информация, в\nпротоколе TCP есть понятие «порт». Нас интересует номер порта,\nкоторый "
    "зарезервирован за соответствующей копией сервера\n«zelmo_server». Этот порт указан в файле "
    "конфигурации сервера.\n\nНомер порта представляет собой целое десятичное число в "
    "диапазоне\n1...65535.");
static Tr comment_tail(
    "server_or_device",
    "\n\nКомментарий представляет собой произвольный текст, введённый\nпользователем при "
    "редактировании конфигурации, хранимый в файле\nконфигурации и отображаемый всегда, когда "
    "отображается информация о\nсоответствующем объекте. Комментарий не пересылается по сети "
    "и\nникак не влияет на поведение программы - он нужен только для\nудобства "
    "пользователя.\n\nКомментарий может оставаться пустым.");
static Tr imei_tail(
    "device",
    "\n\nIMEI это International Mobile Equipment Identity (международный\nидентификатор "
    "мобильного оборудования) GSM-модема, встроенного в\nустройство. Каждый GSM-модем в мире "
    "имеет свой собственный\nуникальный IMEI, прошитый в него производителем этого модема. "
    "Смена\nIMEI, как правило, невозможна. Поэтому IMEI модема удобно\nиспользовать как "
    "идентификатор устройства.\n\nВ этой программе IMEI используется в качестве адреса "
    "устройства на\nсервере «zelmo_server».\n\nIMEI представляет собой 15-значное целое "
    "десятичное число.");
static Tr pin_tail(
    "device",
    "\n\nPIN-код (т.е. пароль) это короткая строка (длиной до шестнадцати\nсимволов), состоящая "
    "из символов printable ASCII (т.е. из цифр,\nлатинских букв, а также следующих "
    "символов:\n!\"#$%%&'()*+,-./:;<=>?@[\\]^_`{|}~). Устройство позволит закачать\nна него файл "
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

const QString& hint_address_tail() {
    return address_tail.tr();
}
const QString& hint_port_tail() {
    return port_tail.tr();
}
const QString& hint_comment_tail() {
    return comment_tail.tr();
}
const QString& hint_imei_tail() {
    return imei_tail.tr();
}
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
    address_tail.clear();
    port_tail.clear();
    comment_tail.clear();
    imei_tail.clear();
    pin_tail.clear();
    save_later.clear();
    cancel.clear();
    add.clear();
    set.clear();
}
