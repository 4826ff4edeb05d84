#include "cli/batch_import.h"

#include "cli/batch_config.h"
#include "cli/batch_output.h"
#include "config/config.h"
#include "config/container.h"
#include "config/device_import.h"
#include "foundation/err.h"

static Tr errtext_no_server("batch", "Для команды «import» нужна опция --server N: номер сервера "
                                     "в конфигурации, на который добавляются устройства.");
static Tr errfmt_server("batch", "Неправильный номер сервера «%1»: в конфигурации серверов %2.");
static Tr errfmt_not_text("batch", "Файл «%1» со списком устройств не является текстом в UTF-8.");
static Tr errfmt_summary("batch",
                         "Добавлено устройств: %1, уже были в конфигурации: %2, отвергнуто "
                         "строк: %3.");

void batch_import_clear_translation() {
    for (Tr* t : {&errtext_no_server, &errfmt_server, &errfmt_not_text, &errfmt_summary})
        t->clear();
}

int run_import(const Batch_args& a) {
    if (a.server.isEmpty())
        throw Err(errtext_no_server.tr());
    load_batch_config(a);
    bool ok;
    const unsigned n = a.server.toUInt(&ok);
    if (!ok || n < 1 || n > configuration.servers.count)
        throw Err(errfmt_server.tr().arg(a.server).arg(configuration.servers.count));
    QByteArray bytes;
    load_file(a.list, bytes);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (!is_utf8(reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size())))
        throw Err(errfmt_not_text.tr().arg(a.list));
    const Device_import import =
        read_device_list(QString::fromUtf8(bytes), configuration, int(n - 1));

    for (const Import_problem& p : import.warnings)
        print_line(stderr, import_problem_line(p));
    for (const Import_row& r : import.duplicates)
        print_line(stderr, import_duplicate_line(r));
    for (const Import_problem& p : import.bad)
        print_line(stderr, import_problem_line(p));
    add_imported_devices(configuration, import);
    write_config_file(a.out, batch_config_text(configuration, false), QString());
    if (!a.quiet)
        print_line(stderr, errfmt_summary.tr()
                               .arg(import.added.size())
                               .arg(import.duplicates.size())
                               .arg(import.bad.size()));
    return import.bad.isEmpty() ? 0 : 1;
}
