#include "cli/batch_main.h"

#include "cli/batch_args.h"
#include "cli/batch_config.h"
#include "cli/batch_enumerate.h"
#include "cli/batch_files.h"
#include "cli/batch_import.h"
#include "cli/batch_output.h"
#include "cli/batch_run.h"
#include "config/config.h"
#include "config/container.h"
#include "foundation/err.h"
#include "foundation/random.h"

#include <QFile>
#include <QStringList>
#include <cerrno>
#include <csignal>

static Tr errfmt_empty_password("batch", "Файл с паролем «%1» содержит пустой пароль. Для записи "
                                         "без шифрования не указывайте опцию "
                                         "--encrypt-password-file.");

static int check(const Batch_args& a) {
    load_batch_config(a);
    write_stdout(batch_config_text(configuration, false));
    return finish_stdout();
}

static int convert(const Batch_args& a) {
    QString password;
    if (!a.encrypt_password_file.isEmpty()) {
        password = read_password_file(a.encrypt_password_file);
        // An empty password would silently give a plain file where an encrypted one was asked.
        if (password.isEmpty())
            throw Err(errfmt_empty_password.tr().arg(a.encrypt_password_file));
    }
    load_batch_config(a);
    write_config_file(a.out, batch_config_text(configuration, false), password,
                      a.legacy_format ? Container_form::legacy : Container_form::modern);
    return 0;
}

static int dispatch(const Batch_args& a) {
    switch (a.cmd) {
    case Batch_args::check:
        return check(a);
    case Batch_args::convert:
        return convert(a);
    case Batch_args::upload:
        return run_upload(a);
    case Batch_args::gather:
        return run_gather(a);
    case Batch_args::command:
        return run_command(a);
    case Batch_args::enumerate:
        return run_enumerate(a);
    case Batch_args::import_list:
        return run_import(a);
    case Batch_args::no_command:
        break;
    }
    throw Debug(0x2103);
}

int batch_main(int argc, char** argv) {
    QStringList list;
    for (int i = 1; i < argc; ++i)
        list << QFile::decodeName(argv[i]);
    // Kept for the whole run: the log takes the file name as a plain pointer.
    static Batch_args args;
    args = parse_batch_args(list);
    switch (args.outcome) {
    case Batch_args::help:
        print_line(stdout, batch_help_text());
        return finish_stdout();
    case Batch_args::error:
        print_line(stderr, args.message);
        print_line(stderr, batch_usage_hint());
        return 2;
    case Batch_args::run:
        break;
    }
    if (args.trace)
        trace_flags.fetch_or(1, std::memory_order_relaxed);
    // Standard output carries the results; a lost reader is seen as EPIPE, not a crash.
    log_failure_to_stderr = true;
    std::signal(SIGPIPE, SIG_IGN);
    update_random_number_generator(0x2101);

    try {
        // Before the log is switched over: the refusal of a log named onto an input must not
        // land in that input.
        if (args.cmd != Batch_args::enumerate)
            check_batch_files(args);
        if (!args.log_file.isEmpty())
            log_file_name = args.log_file.constData();
        return dispatch(args);
    } catch (const Debug& e) {
        print_line(stderr, e.message);
        return 3;
    } catch (const Err& e) {
        print_line(stderr, e.message);
        return 2;
    } catch (const std::exception& e) {
        log_exception(e);
        print_line(stderr, QString::fromLocal8Bit(e.what()));
        return 3;
    } catch (...) {
        print_line(stderr, debug_errtext(0x2104));
        log_debug(0x2104);
        return 3;
    }
}
