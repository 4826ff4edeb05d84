#include "ui/rollout_option_texts.h"

#include "engine/rollout_policy.h"
#include "foundation/err.h"

static Tr title_group("options", "Безопасный запуск");

#define CBOX_HEAD                                                                                                                                                     \
    "Если здесь стоит отметка, для параметра «%1» будет использоваться\nто значение, которое " \
    "введено в расположенное правее поле ввода.\n\n"
#define RANGE "\n\nЗначение этого параметра должно быть в диапазоне %1...%2."

struct Rollout_option_texts {
    Tr caption;
    Tr unit;
    Tr hint_cbox;
    Tr hint;
};

static Rollout_option_texts texts[rollout_option_count] = {
    {{"options", "Не более соединений с одним сервером"},
     {"options", ""},
     {"options", CBOX_HEAD "Если отметки нет, число соединений с одним сервером ограничено\n"
                           "только общим количеством одновременных закачек."},
     {"options", "Наибольшее количество соединений, которые программа одновременно\nдержит с "
                 "одним сервером «zelmo_server», чтобы не перегрузить его.\nОстальные "
                 "соединения в это время работают с другими серверами." RANGE
                 "\nЕсли параметр не задан, ограничения нет."}},
    {{"options", "Размер пробной группы"},
     {"options", ""},
     {"options", CBOX_HEAD "Если отметки нет, пробной группы нет: все устройства\n"
                           "обслуживаются сразу."},
     {"options", "Количество первых устройств конфигурации, которые обслуживаются\nпрежде "
                 "остальных. Если хотя бы одно из них завершилось неудачей\n(кроме «нет "
                 "соединения с сервером» и «устройство не на связи»),\nработа "
                 "останавливается, и остальные устройства не затрагиваются." RANGE
                 "\nЕсли параметр не задан, пробной группы нет."}},
    {{"options", "Остановить работу после неудач"},
     {"options", ""},
     {"options", CBOX_HEAD "Если отметки нет, работа не останавливается, сколько бы\n"
                           "устройств ни завершилось неудачей."},
     {"options", "Количество устройств, завершившихся неудачей, после которого\nработа "
                 "останавливается: ещё не обслуженные устройства не\nзатрагиваются." RANGE
                 "\nЕсли параметр не задан, работа по числу неудач не останавливается."}},
    {{"options", "Остановить работу при доле неудач"},
     {"options", "%"},
     {"options", CBOX_HEAD "Если отметки нет, работа не останавливается, какой бы ни\nбыла "
                           "доля неудач."},
     {"options", "Доля устройств (в процентах), завершившихся неудачей, при которой\nработа "
                 "останавливается. Доля считается, когда завершено не менее\n%3 устройств." RANGE
                 "\nЕсли параметр не задан, работа по доле неудач не останавливается."}},
    {{"options", "Количество повторных проходов"},
     {"options", ""},
     {"options", CBOX_HEAD "Если отметки нет, повторных проходов нет: устройства,\n"
                           "завершившиеся неудачей, не повторяются."},
     {"options", "Сколько раз после основного прохода повторить работу с\nустройствами, "
                 "завершившимися неудачей, которую может исправить\nповтор: «нет соединения с "
                 "сервером», «обрыв связи с сервером»,\n«тайм-аут», «устройство не на связи»." RANGE
                 "\nЕсли параметр не задан, повторных проходов нет."}},
    {{"options", "Задержка перед повторным проходом"},
     {"options", "мс."},
     {"options", CBOX_HEAD "Если отметки нет, будет использоваться значение по умолчанию.\n"
                           "Сейчас это значение равно %2 миллисекунд, но оно может\nпоменяться "
                           "в будущих версиях программы."},
     {"options", "Время (в миллисекундах), которое программа выжидает перед каждым\nповторным "
                 "проходом, чтобы устройства успели снова выйти на связь." RANGE
                 "\nЕсли параметр не задан, значение равно %3."}},
    {{"options", "Задержка перед проверкой версии"},
     {"options", "мс."},
     {"options", CBOX_HEAD "Если отметки нет, будет использоваться значение по умолчанию.\n"
                           "Сейчас это значение равно %2 миллисекунд, но оно может\nпоменяться "
                           "в будущих версиях программы."},
     {"options", "Время (в миллисекундах), которое программа выжидает после закачки,\nпрежде "
                 "чем снова прочитать версию с устройств, на которые закачан\nфайл: устройство "
                 "успевает применить его и перезапуститься.\nИспользуется только тогда, когда "
                 "включена проверка версии\nпосле закачки." RANGE
                 "\nЕсли параметр не задан, значение равно %3."}},
};

static Tr hint_ms("options", "Единица измерения: миллисекунда.");
static Tr hint_percent("options", "Единица измерения: процент.");

void rollout_option_texts_clear_translation() {
    title_group.clear();
    for (Rollout_option_texts& t : texts) {
        t.caption.clear();
        t.unit.clear();
        t.hint_cbox.clear();
        t.hint.clear();
    }
    hint_ms.clear();
    hint_percent.clear();
}

static Rollout_option_texts& of(int option) {
    if (option < first_rollout_option || option >= option_count)
        throw Debug(0x0810);
    return texts[option - first_rollout_option];
}

QString rollout_group_title() {
    return title_group.tr();
}

QString rollout_option_caption(int option) {
    return of(option).caption.tr();
}

QString rollout_option_unit(int option) {
    Tr& unit = of(option).unit;
    return unit.source[0] ? unit.tr() : QString();
}

QString rollout_option_unit_hint(int option) {
    if (option == opt_retry_delay || option == opt_verify_delay)
        return hint_ms.tr();
    if (option == opt_stop_at_failure_rate)
        return hint_percent.tr();
    return QString();
}

QString rollout_option_cbox_hint(int option) {
    const QString s = of(option).hint_cbox.tr().arg(rollout_option_caption(option));
    // Only the delays have a default to name.
    return option == opt_retry_delay || option == opt_verify_delay
               ? s.arg(option_info[option].default_value)
               : s;
}

QString rollout_option_hint(int option) {
    const QString& f = of(option).hint.tr();
    QString s = f.arg(1).arg(option_info[option].maximum);
    if (option == opt_stop_at_failure_rate)
        return s.arg(rollout_rate_minimum);
    if (option == opt_retry_delay || option == opt_verify_delay)
        return s.arg(option_info[option].default_value);
    return s;
}
