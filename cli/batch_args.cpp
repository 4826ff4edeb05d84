#include "cli/batch_args.h"

#include "config/fail_class.h"
#include "foundation/err.h"

static Tr errtext_no_command("batch", "Не указана команда.");
static Tr errfmt_unknown_command("batch", "Неизвестная команда: «%1».");
static Tr errfmt_unknown_option("batch", "Неизвестная опция командной строки: «%1».");
static Tr errfmt_duplicate("batch", "В командной строке дважды указана одна и та же опция: «%1».");
static Tr errfmt_needs_value("batch", "После опции «%1» должно быть указано её значение.");
static Tr errfmt_empty_value("batch", "Значение опции «%1» не должно быть пустым.");
static Tr errfmt_no_value("batch", "Опция «%1» не имеет значения.");
static Tr errfmt_not_for_command("batch", "Опция «%1» неприменима к команде «%2».");
static Tr errfmt_parameter_count("batch",
                                 "Неправильное количество параметров команды «%1». Ожидается: %2");
static Tr errfmt_device_command("batch", "Неизвестная команда устройствам: «%1». Допустимы "
                                         "команды restart, factory, dropbbox и cleargnss.");
static Tr errfmt_port("batch", "Неправильный номер порта: «%1». Ожидается десятичное число от 0 "
                               "до 65535.");
static Tr errfmt_integer("batch", "Неправильное значение опции «%1»: «%2». Ожидается целое "
                                  "десятичное число от %3 до %4.");
static Tr errfmt_percent("batch", "Неправильное значение опции «%1»: «%2». Ожидается число "
                                  "процентов больше 0 и не больше 100 (например, 5 или 2.5).");
static Tr errfmt_fail_class("batch", "Неизвестный класс неудачи «%1» в опции «%2». Допустимы "
                                     "классы connect, rupture, timeout, not_linked, auth, "
                                     "device, cancelled и internal через запятую.");
static Tr errfmt_needs_option("batch", "Опция «%1» действует только вместе с опцией «%2».");
static Tr errfmt_version_param("batch", "Неправильное значение опции «--version-param»: «%1». "
                                        "Допустимы значения main, modem и gnss.");
static Tr errtext_expect_alone("batch", "Опция «--expect-version» действует только вместе с "
                                        "опцией «--skip-current» или «--verify».");
static Tr errfmt_format("batch", "Неправильное значение опции «--format»: «%1». Допустимы "
                                 "значения modern и legacy.");
static Tr errtext_journal_and_resume("batch",
                                     "Опции «--journal» и «--resume» вместе не указываются: "
                                     "--resume продолжает запись в журнал, который ему указан.");
static Tr errtext_log_format("main", "Неправильный формат опции «--log». Ожидаемый формат: "
                                     "--log=\"имя файла журнала\".");
static Tr text_usage_hint("batch", "Для получения справки запустите «zelmo_batch --help».");
static Tr text_help(
    "batch",
    "zelmo_batch %1 - обслуживание устройств без графического интерфейса.\n"
    "\n"
    "Использование: zelmo_batch КОМАНДА [ОПЦИИ] ПАРАМЕТРЫ...\n"
    "\n"
    "Команды:\n"
    "  check CONFIG\n"
    "      Прочитать файл конфигурации и вывести её текст так, как его записывает программа.\n"
    "      Пример: zelmo_batch check fleet.zelmo_upload\n"
    "  convert CONFIG OUT [--encrypt-password-file F [--format modern|legacy]]\n"
    "      Записать конфигурацию в файл OUT: зашифрованной паролем из файла F или, без\n"
    "      этой опции, открытым текстом. OUT заменяется только при успешной записи.\n"
    "      --format modern (по умолчанию) - современный формат, стойкий к подбору пароля;\n"
    "      его читают только эта и более новые версии программы. --format legacy - прежний\n"
    "      формат для старых версий программы: слабо защищён от подбора пароля, текст не\n"
    "      длиннее 16 МиБ.\n"
    "      Пример: zelmo_batch convert fleet.zelmo_upload secret.zelmo_upload "
    "--encrypt-password-file pw.txt\n"
    "  upload CONFIG FILE [--as firmware|settings|ИМЯ]\n"
    "      Закачать FILE на все устройства: как прошивку (FIRMWARE), как файл настроек\n"
    "      (SETTINGS) или под именем ИМЯ (до 10 символов printable ASCII). Без --as\n"
    "      назначение файла определяет имя файла на устройстве из конфигурации.\n"
    "      Пример: zelmo_batch upload fleet.zelmo_upload fw_2_1.fwz --as firmware\n"
    "  gather CONFIG\n"
    "      Считать с каждого устройства версии прошивок.\n"
    "      Пример: zelmo_batch gather fleet.zelmo_upload\n"
    "  command CONFIG restart|factory|dropbbox|cleargnss [--yes]\n"
    "      Передать команду всем устройствам: рестарт, сброс к заводским настройкам,\n"
    "      очистка «чёрного ящика», холодный старт GNSS-приёмника. factory и dropbbox\n"
    "      выполняются только с опцией --yes.\n"
    "      Пример: zelmo_batch command fleet.zelmo_upload restart\n"
    "  enumerate HOST PORT\n"
    "      Вывести IMEI устройств, подключенных к серверу, по одному в строке.\n"
    "      Пример: zelmo_batch enumerate 192.0.2.10 4000\n"
    "  import CONFIG LIST --server N OUT\n"
    "      Добавить в конфигурацию устройства из списка LIST (строки «IMEI;PIN;комментарий»\n"
    "      через табуляцию, точку с запятой или запятую) на сервер номер N и записать\n"
    "      результат открытым текстом в OUT. Код выхода 1, если часть строк отвергнута.\n"
    "      Пример: zelmo_batch import fleet.zelmo_upload devices.csv --server 1 new.zelmo_upload\n"
    "\n"
    "Опции:\n"
    "  --password-file F   пароль зашифрованного CONFIG - первая строка файла F; без этой\n"
    "                      опции пароль спрашивается, если стандартный ввод - терминал\n"
    "  --log=FILE          файл журнала (по умолчанию «%2»)\n"
    "  --trace             записывать в журнал весь обмен с серверами\n"
    "  --failed-out FILE   после работы записать в FILE конфигурацию из устройств, работа\n"
    "                      с которыми завершилась неудачно (для повторной попытки)\n"
    "  --succeeded-out FILE  то же для устройств, обслуженных успешно\n"
    "  --quiet             не выводить ход работы и итоговую строку\n"
    "  --help              выдать этот текст и выйти\n"
    "\n"
    "Управление массовой работой (upload, gather, command); параметры max_per_server,\n"
    "canary, stop_after_failures, stop_at_failure_rate, retry_passes и retry_delay\n"
    "конфигурации действуют так же, а опции командной строки их заменяют:\n"
    "  --max-per-server N  не более N соединений с одним сервером одновременно\n"
    "  --canary K          сначала обслужить первые K устройств конфигурации; если хотя бы\n"
    "                      одно из них завершилось неудачей класса не из списка\n"
    "                      --canary-ignore (по умолчанию connect,not_linked), остановиться\n"
    "  --stop-after-failures N  остановить работу после N неудачных устройств\n"
    "  --stop-at-failure-rate P  остановить работу, когда доля неудач достигла P процентов\n"
    "                      (считается после 50 завершённых устройств)\n"
    "  --retry N           затем до N раз повторить устройства с неудачей класса из списка\n"
    "                      --retry-classes (по умолчанию connect,rupture,timeout,not_linked)\n"
    "  --retry-delay S     пауза перед каждым повтором, секунд (по умолчанию 5)\n"
    "  --journal FILE      записывать итог каждого устройства в журнал FILE (JSON Lines)\n"
    "  --resume FILE       продолжить работу по журналу FILE: устройства, обслуженные\n"
    "                      успешно той же работой с тем же файлом, пропускаются\n"
    "  --report FILE       записать отчёт по каждой попытке: JSON Lines, или CSV, если имя\n"
    "                      оканчивается на .csv\n"
    "Проверка версии при закачке (upload); версия сравнивается с текстом, который\n"
    "показывает gather:\n"
    "  --expect-version TEXT  версия, которую устройство должно сообщать после закачки\n"
    "  --version-param main|modem|gnss  какую версию сравнивать: основной прошивки (по\n"
    "                      умолчанию), модема или навигационного приёмника\n"
    "  --skip-current      перед закачкой прочитать версию и не закачивать файл на\n"
    "                      устройства, которые уже сообщают TEXT (строка ok)\n"
    "  --verify            после закачки (и повторов) выждать и снова прочитать версию с\n"
    "                      устройств, получивших файл; другая версия - неудача verify\n"
    "  --verify-delay S    пауза перед проверкой, секунд (по умолчанию параметр\n"
    "                      verify_delay конфигурации, 60 с)\n"
    "Классы неудач: connect (нет соединения с сервером), rupture (разрыв соединения,\n"
    "нарушение протокола сервером), timeout, not_linked (устройство не на связи), auth\n"
    "(неверный PIN-код), device (устройство отказало), cancelled, internal, verify (после\n"
    "закачки устройство сообщает не ту версию).\n"
    "\n"
    "Результат работы: на стандартный вывод по строке на устройство, поля через табуляцию:\n"
    "IMEI, АДРЕС:ПОРТ сервера, ok или failed, затем текст ошибки или (для gather) три\n"
    "считанных значения.\n"
    "\n"
    "Код завершения: 0 - все устройства обслужены успешно (или команда выполнена),\n"
    "1 - хотя бы одно устройство не обслужено (в том числе после Ctrl-C), 2 - ошибка\n"
    "командной строки, файла или конфигурации, 3 - внутренняя ошибка, 4 - работа\n"
    "остановлена после пробной группы (--canary) или по порогу неудач.\n");

void batch_args_clear_translation() {
    errtext_no_command.clear();
    errfmt_unknown_command.clear();
    errfmt_unknown_option.clear();
    errfmt_duplicate.clear();
    errfmt_needs_value.clear();
    errfmt_empty_value.clear();
    errfmt_no_value.clear();
    errfmt_not_for_command.clear();
    errfmt_parameter_count.clear();
    errfmt_device_command.clear();
    errfmt_port.clear();
    errfmt_integer.clear();
    errfmt_percent.clear();
    errfmt_fail_class.clear();
    errfmt_needs_option.clear();
    errfmt_version_param.clear();
    errtext_expect_alone.clear();
    errfmt_format.clear();
    errtext_journal_and_resume.clear();
    errtext_log_format.clear();
    text_usage_hint.clear();
    text_help.clear();
}

namespace {

struct Command_info {
    Batch_args::Command cmd;
    const char* name;
    int parameters;
    const char* synopsis;
};

const Command_info commands[] = {
    {Batch_args::check, "check", 1, "check CONFIG"},
    {Batch_args::convert, "convert", 2,
     "convert CONFIG OUT [--encrypt-password-file F [--format modern|legacy]]"},
    {Batch_args::upload, "upload", 2, "upload CONFIG FILE [--as firmware|settings|NAME]"},
    {Batch_args::gather, "gather", 1, "gather CONFIG"},
    {Batch_args::command, "command", 2,
     "command CONFIG restart|factory|dropbbox|cleargnss [--yes]"},
    {Batch_args::enumerate, "enumerate", 2, "enumerate HOST PORT"},
    {Batch_args::import_list, "import", 3, "import CONFIG LIST --server N OUT"},
};

bool is_help(const QString& a) {
    static const char* const forms[] = {"--help", "-h", "-?", "-help", "--?", "--h"};
    for (const char* f : forms)
        if (a == QLatin1String(f))
            return true;
    return false;
}

// Options that take a value, and the field each fills.
struct Value_option {
    const char* name;
    QString Batch_args::*field;
    bool empty_allowed;
};

const Value_option value_options[] = {
    {"--password-file", &Batch_args::password_file, false},
    {"--encrypt-password-file", &Batch_args::encrypt_password_file, false},
    {"--format", &Batch_args::format, false},
    {"--failed-out", &Batch_args::failed_out, false},
    {"--succeeded-out", &Batch_args::succeeded_out, false},
    {"--as", &Batch_args::as, true},
    {"--max-per-server", &Batch_args::max_per_server_text, false},
    {"--canary", &Batch_args::canary_text, false},
    {"--canary-ignore", &Batch_args::canary_ignore_text, false},
    {"--stop-after-failures", &Batch_args::stop_after_failures_text, false},
    {"--stop-at-failure-rate", &Batch_args::stop_rate_text, false},
    {"--retry", &Batch_args::retry_text, false},
    {"--retry-delay", &Batch_args::retry_delay_text, false},
    {"--retry-classes", &Batch_args::retry_classes_text, false},
    {"--journal", &Batch_args::journal, false},
    {"--resume", &Batch_args::resume, false},
    {"--report", &Batch_args::report, false},
    {"--server", &Batch_args::server, false},
    {"--expect-version", &Batch_args::expect_version, false},
    {"--version-param", &Batch_args::version_param_text, false},
    {"--verify-delay", &Batch_args::verify_delay_text, false},
};

// Rollout options that hold a number, with its range.
struct Number_option {
    const char* name;
    QString Batch_args::*text;
    unsigned Batch_args::*field;
    unsigned minimum;
    unsigned maximum;
};

const Number_option number_options[] = {
    {"--max-per-server", &Batch_args::max_per_server_text, &Batch_args::max_per_server, 1, 100000},
    {"--canary", &Batch_args::canary_text, &Batch_args::canary, 1, 999999},
    {"--stop-after-failures", &Batch_args::stop_after_failures_text,
     &Batch_args::stop_after_failures, 1, 999999},
    {"--retry", &Batch_args::retry_text, &Batch_args::retry, 1, 100},
    {"--retry-delay", &Batch_args::retry_delay_text, &Batch_args::retry_delay, 0, 86400},
    {"--verify-delay", &Batch_args::verify_delay_text, &Batch_args::verify_delay, 0, 86400},
};

// Options that only make sense beside another one.
struct Option_pair {
    const char* name;
    QString Batch_args::*text;
    const char* needs;
    QString Batch_args::*needed;
};

const Option_pair option_pairs[] = {
    {"--canary-ignore", &Batch_args::canary_ignore_text, "--canary", &Batch_args::canary_text},
    {"--retry-delay", &Batch_args::retry_delay_text, "--retry", &Batch_args::retry_text},
    {"--retry-classes", &Batch_args::retry_classes_text, "--retry", &Batch_args::retry_text},
    {"--version-param", &Batch_args::version_param_text, "--expect-version",
     &Batch_args::expect_version},
    {"--verify-delay", &Batch_args::verify_delay_text, "--verify", nullptr},
};

struct Flag_option {
    const char* name;
    bool Batch_args::*field;
};

const Flag_option flag_options[] = {
    {"--trace", &Batch_args::trace},   {"--quiet", &Batch_args::quiet},
    {"--yes", &Batch_args::yes},       {"--skip-current", &Batch_args::skip_current},
    {"--verify", &Batch_args::verify},
};

Batch_args failed(const QString& message) {
    Batch_args a;
    a.outcome = Batch_args::error;
    a.message = message;
    return a;
}

bool parse_decimal(const QString& text, unsigned minimum, unsigned maximum, unsigned& out) {
    if (text.isEmpty() || text.size() > 9)
        return false;
    unsigned value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + unsigned(c.unicode() - '0');
    }
    if (value < minimum || value > maximum)
        return false;
    out = value;
    return true;
}

// Digits with at most one decimal point, above 0 and at most 100.
bool parse_percent(const QString& text, double& out) {
    bool point = false;
    int digits = 0;
    for (QChar c : text) {
        if (c == QLatin1Char('.') && !point)
            point = true;
        else if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            ++digits;
        else
            return false;
    }
    if (digits == 0 || text.startsWith(QLatin1Char('.')) || text.endsWith(QLatin1Char('.')))
        return false;
    const double value = text.toDouble();
    if (!(value > 0) || value > 100)
        return false;
    out = value;
    return true;
}

// A comma-separated list of class names; the offending word in `bad` on failure.
bool parse_classes(const QString& text, uint32_t& mask, QString& bad) {
    uint32_t m = 0;
    for (const QString& word : text.split(QLatin1Char(','))) {
        const unsigned c = fail_class_from_name(word.toLatin1().constData());
        if (c >= fail_class_count || word.isEmpty()) {
            bad = word;
            return false;
        }
        m |= fail_bit(c);
    }
    mask = m;
    return true;
}

// Converts the rollout options once the command is known; an empty message when they fit.
QString parse_rollout(Batch_args& a, const QString& cmd_name) {
    const bool runs =
        a.cmd == Batch_args::upload || a.cmd == Batch_args::gather || a.cmd == Batch_args::command;
    const struct {
        const char* name;
        const QString& value;
    } given[] = {{"--max-per-server", a.max_per_server_text},
                 {"--canary", a.canary_text},
                 {"--canary-ignore", a.canary_ignore_text},
                 {"--stop-after-failures", a.stop_after_failures_text},
                 {"--stop-at-failure-rate", a.stop_rate_text},
                 {"--retry", a.retry_text},
                 {"--retry-delay", a.retry_delay_text},
                 {"--retry-classes", a.retry_classes_text},
                 {"--journal", a.journal},
                 {"--resume", a.resume},
                 {"--report", a.report}};
    for (const auto& g : given)
        if (!g.value.isEmpty() && !runs)
            return errfmt_not_for_command.tr().arg(QLatin1String(g.name), cmd_name);
    const struct {
        const char* name;
        bool given;
    } version_given[] = {{"--expect-version", !a.expect_version.isEmpty()},
                         {"--version-param", !a.version_param_text.isEmpty()},
                         {"--skip-current", a.skip_current},
                         {"--verify", a.verify},
                         {"--verify-delay", !a.verify_delay_text.isEmpty()}};
    for (const auto& g : version_given)
        if (g.given && a.cmd != Batch_args::upload)
            return errfmt_not_for_command.tr().arg(QLatin1String(g.name), cmd_name);
    if (a.expect_version.isEmpty()) {
        if (a.skip_current)
            return errfmt_needs_option.tr().arg(QStringLiteral("--skip-current"),
                                                QStringLiteral("--expect-version"));
        if (a.verify)
            return errfmt_needs_option.tr().arg(QStringLiteral("--verify"),
                                                QStringLiteral("--expect-version"));
    } else if (!a.skip_current && !a.verify) {
        return errtext_expect_alone.tr();
    }
    for (const Option_pair& p : option_pairs) {
        const bool needed_given =
            p.needed ? !(a.*p.needed).isEmpty() : a.verify; // --verify is a flag
        if (!(a.*p.text).isEmpty() && !needed_given)
            return errfmt_needs_option.tr().arg(QLatin1String(p.name), QLatin1String(p.needs));
    }
    if (!a.version_param_text.isEmpty()) {
        static const char* const words[] = {"main", "modem", "gnss"};
        unsigned found = 3;
        for (unsigned w = 0; w < 3; ++w)
            if (a.version_param_text == QLatin1String(words[w]))
                found = w;
        if (found == 3)
            return errfmt_version_param.tr().arg(a.version_param_text);
        a.version_param = found;
    }
    for (const Number_option& n : number_options) {
        const QString& text = a.*n.text;
        if (!text.isEmpty() && !parse_decimal(text, n.minimum, n.maximum, a.*n.field))
            return errfmt_integer.tr()
                .arg(QLatin1String(n.name), text)
                .arg(n.minimum)
                .arg(n.maximum);
    }
    if (!a.stop_rate_text.isEmpty() && !parse_percent(a.stop_rate_text, a.stop_rate))
        return errfmt_percent.tr().arg(QStringLiteral("--stop-at-failure-rate"), a.stop_rate_text);
    a.canary_ignore = default_canary_ignore();
    a.retry_classes = default_retry_classes();
    QString bad;
    if (!a.canary_ignore_text.isEmpty() &&
        !parse_classes(a.canary_ignore_text, a.canary_ignore, bad))
        return errfmt_fail_class.tr().arg(bad, QStringLiteral("--canary-ignore"));
    if (!a.retry_classes_text.isEmpty() &&
        !parse_classes(a.retry_classes_text, a.retry_classes, bad))
        return errfmt_fail_class.tr().arg(bad, QStringLiteral("--retry-classes"));
    if (!a.journal.isEmpty() && !a.resume.isEmpty())
        return errtext_journal_and_resume.tr();
    return QString();
}

// Five digits at most: a longer text with leading zeros is refused.
bool parse_port(const QString& text, unsigned short& port) {
    unsigned value = 0;
    if (text.size() > 5 || !parse_decimal(text, 0, 65535, value))
        return false;
    port = static_cast<unsigned short>(value);
    return true;
}

} // namespace

const char* batch_command_name(Batch_args::Command cmd) {
    for (const Command_info& c : commands)
        if (c.cmd == cmd)
            return c.name;
    return "";
}

Batch_args parse_batch_args(const QStringList& args) {
    Batch_args a;
    QStringList positional;
    QStringList seen; // options given so far, for the duplicate test
    bool options_done = false;

    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (options_done || arg.size() < 2 || arg[0] != QLatin1Char('-')) {
            positional << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            options_done = true;
            continue;
        }
        if (is_help(arg)) {
            Batch_args h;
            h.outcome = Batch_args::help;
            return h;
        }
        const int eq = arg.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? arg : arg.left(eq);

        // --log keeps the main program's form: only --log=FILE, FILE not empty.
        if (name.startsWith(QLatin1String("--log"))) {
            if (name != QLatin1String("--log") || eq < 0 || eq + 1 == arg.size())
                return failed(errtext_log_format.tr());
            if (seen.contains(name))
                return failed(errfmt_duplicate.tr().arg(name));
            seen << name;
            a.log_file = arg.mid(eq + 1).toUtf8();
            continue;
        }

        bool known = false;
        for (const Flag_option& f : flag_options) {
            if (name != QLatin1String(f.name))
                continue;
            if (eq >= 0)
                return failed(errfmt_no_value.tr().arg(name));
            if (seen.contains(name))
                return failed(errfmt_duplicate.tr().arg(name));
            seen << name;
            a.*f.field = true;
            known = true;
        }
        for (const Value_option& v : value_options) {
            if (name != QLatin1String(v.name))
                continue;
            QString value;
            if (eq >= 0) {
                value = arg.mid(eq + 1);
            } else {
                if (i + 1 >= args.size())
                    return failed(errfmt_needs_value.tr().arg(name));
                value = args[++i];
            }
            if (value.isEmpty() && !v.empty_allowed)
                return failed(errfmt_empty_value.tr().arg(name));
            if (seen.contains(name))
                return failed(errfmt_duplicate.tr().arg(name));
            seen << name;
            a.*v.field = value;
            if (v.field == &Batch_args::as)
                a.has_as = true;
            known = true;
        }
        if (!known)
            return failed(errfmt_unknown_option.tr().arg(arg));
    }

    if (positional.isEmpty())
        return failed(errtext_no_command.tr());
    const Command_info* info = nullptr;
    for (const Command_info& c : commands)
        if (positional[0] == QLatin1String(c.name))
            info = &c;
    if (!info)
        return failed(errfmt_unknown_command.tr().arg(positional[0]));
    a.cmd = info->cmd;
    const QString cmd_name = QLatin1String(info->name);
    if (positional.size() - 1 != info->parameters)
        return failed(errfmt_parameter_count.tr().arg(cmd_name, QLatin1String(info->synopsis)));

    // Options that belong to one command only.
    if (a.has_as && a.cmd != Batch_args::upload)
        return failed(errfmt_not_for_command.tr().arg(QStringLiteral("--as"), cmd_name));
    if (!a.encrypt_password_file.isEmpty() && a.cmd != Batch_args::convert)
        return failed(
            errfmt_not_for_command.tr().arg(QStringLiteral("--encrypt-password-file"), cmd_name));
    if (!a.format.isEmpty()) {
        if (a.cmd != Batch_args::convert)
            return failed(errfmt_not_for_command.tr().arg(QStringLiteral("--format"), cmd_name));
        if (a.encrypt_password_file.isEmpty())
            return failed(errfmt_needs_option.tr().arg(QStringLiteral("--format"),
                                                       QStringLiteral("--encrypt-password-file")));
        if (a.format != QLatin1String("modern") && a.format != QLatin1String("legacy"))
            return failed(errfmt_format.tr().arg(a.format));
        a.legacy_format = a.format == QLatin1String("legacy");
    }
    if (!a.server.isEmpty() && a.cmd != Batch_args::import_list)
        return failed(errfmt_not_for_command.tr().arg(QStringLiteral("--server"), cmd_name));
    if (a.yes && a.cmd != Batch_args::command)
        return failed(errfmt_not_for_command.tr().arg(QStringLiteral("--yes"), cmd_name));
    const QString rollout_error = parse_rollout(a, cmd_name);
    if (!rollout_error.isEmpty())
        return failed(rollout_error);

    switch (a.cmd) {
    case Batch_args::enumerate:
        a.host = positional[1];
        if (a.host.isEmpty())
            return failed(errfmt_parameter_count.tr().arg(cmd_name, QLatin1String(info->synopsis)));
        if (!parse_port(positional[2], a.port))
            return failed(errfmt_port.tr().arg(positional[2]));
        break;
    case Batch_args::command: {
        a.config = positional[1];
        a.device_command = positional[2];
        static const char* const known[] = {"restart", "factory", "dropbbox", "cleargnss"};
        bool ok = false;
        for (const char* k : known)
            ok = ok || a.device_command == QLatin1String(k);
        if (!ok)
            return failed(errfmt_device_command.tr().arg(a.device_command));
        break;
    }
    case Batch_args::convert:
        a.config = positional[1];
        a.out = positional[2];
        break;
    case Batch_args::upload:
        a.config = positional[1];
        a.file = positional[2];
        break;
    case Batch_args::import_list:
        a.config = positional[1];
        a.list = positional[2];
        a.out = positional[3];
        break;
    default:
        a.config = positional[1];
        break;
    }
    if (a.cmd != Batch_args::enumerate && a.config.isEmpty())
        return failed(errfmt_parameter_count.tr().arg(cmd_name, QLatin1String(info->synopsis)));
    return a;
}

QString batch_help_text() {
    return text_help.tr().arg(QLatin1String(program_version), QLatin1String(default_log_file_name));
}

QString batch_usage_hint() {
    return text_usage_hint.tr();
}
