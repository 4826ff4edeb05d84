#include "cli/batch_run.h"

#include "cli/batch_config.h"
#include "cli/batch_output.h"
#include "cli/batch_rollout.h"
#include "cli/batch_signal.h"
#include "config/config.h"
#include "config/validators.h"
#include "engine/actions.h"
#include "engine/engine.h"
#include "engine/params.h"
#include "engine/upload_setup.h"
#include "foundation/err.h"
#include "protocol/frame.h"

#include <cerrno>
#include <cstring>
#include <memory>

static Tr errtext_nothing_to_upload(
    "page_cfg", "Некуда закачивать: в текущей конфигурации нет ни одного устройства.");
static Tr errtext_nothing_to_gather(
    "page_cfg", "Неоткуда запрашивать: в текущей конфигурации нет ни одного устройства.");
static Tr errtext_nothing_to_command(
    "batch", "Некому передавать команду: в текущей конфигурации нет ни одного устройства.");
static Tr errfmt_needs_yes("batch", "Команда «%1» необратима, поэтому она выполняется только с "
                                    "опцией --yes.");
static Tr caption_devfname("page_cfg", "Имя файла на устройстве");
static Tr fmt_summary("batch", "Всего устройств: %1, успешно: %2, неудачно: %3.");
static Tr text_interrupted("batch", "Работа прервана (Ctrl-C).");
static Tr errfmt_interrupted_by("batch", "Работа прервана (сигнал %1).");
static Tr text_stdout_closed("batch", "Работа прервана: стандартный вывод закрыт.");
static Tr errfmt_empty_upload("batch", "Файл «%1» пуст: закачивать нечего.");
static Tr errtext_empty_as("batch", "Значение опции «--as» не должно быть пустым: укажите "
                                    "firmware, settings или имя файла на устройстве.");

void batch_run_clear_translation() {
    errtext_nothing_to_upload.clear();
    errtext_nothing_to_gather.clear();
    errtext_nothing_to_command.clear();
    errfmt_needs_yes.clear();
    caption_devfname.clear();
    fmt_summary.clear();
    text_interrupted.clear();
    errfmt_interrupted_by.clear();
    text_stdout_closed.clear();
    errfmt_empty_upload.clear();
    errtext_empty_as.clear();
}

namespace {

// The devices of the configuration: how many there are, how many succeeded.
struct Tally {
    unsigned total = 0;
    unsigned succeeded = 0;
};

Tally count_results() {
    Tally t;
    const Devices& d = configuration.devices;
    t.total = d.count;
    for (unsigned i = 0; i < d.count; ++i)
        if (d.rows[i].device->run_flags & Device::succeeded)
            ++t.succeeded;
    return t;
}

// One line per device in configuration order: IMEI, ADDRESS:PORT, ok or failed, then the
// error text or the gathered values. The address and the error text are escaped so that a
// tab or a line break in them cannot break the line into fields; the values are shown with
// their control characters escaped already. Lines go out in blocks, and a server's escaped
// address is made once for its run of devices: a run prints a line per device.
void print_results(const Params* params) {
    Devices& d = configuration.devices;
    Servers& s = configuration.servers;
    constexpr int block_chars = 32768;
    QString block;
    block.reserve(block_chars + 1024);
    QString server_text;
    unsigned server_row = ~0u;
    for (unsigned i = 0; i < d.count; ++i) {
        Device* device = d.rows[i].device;
        const unsigned short row = d.rows[i].server;
        if (row != server_row) {
            server_row = row;
            server_text.resize(0);
            if (row < s.count) {
                Server* server = s.rows[row].server;
                append_tsv_escaped(server_text, server->address);
                server_text += QLatin1Char(':');
                server_text += server->port_str();
            }
        }
        append_imei(block, device->imei);
        block += QLatin1Char('\t');
        block += server_text;
        if (device->run_flags & Device::succeeded) {
            block += QLatin1String("\tok");
            if (params && uint64_t(device->values.size()) >= params->total_size) {
                const auto* values =
                    reinterpret_cast<const unsigned char*>(device->values.constData());
                for (uint64_t p = 0; p < params->count; ++p) {
                    const Param* param = params->items[p];
                    block += QLatin1Char('\t');
                    param->append_shown(block, values + param->offset); // shown escaped
                }
            } else if (!device->error_text.isEmpty()) {
                // A version check's saying: skipped as current, or verified.
                block += QLatin1Char('\t');
                append_tsv_escaped(block, device->error_text);
            }
        } else {
            block += QLatin1String("\tfailed\t");
            append_tsv_escaped(block, device->error_text);
        }
        block += QLatin1Char('\n');
        if (block.size() >= block_chars || i + 1 == d.count) {
            write_stdout(block.toUtf8());
            block.resize(0);
        }
    }
    stdout_status(); // flushes, keeping the error's number
}

// Writes one result list; false (with the message on standard error) when it could not be.
bool write_list(const QString& path, bool success) {
    if (path.isEmpty())
        return true;
    try {
        Collection list;
        if (success)
            list.select_success(configuration);
        else
            list.select_failure(configuration);
        write_batch_list(path, list);
        return true;
    } catch (const std::exception& e) {
        print_line(stderr, is_err(e) ? static_cast<const Err&>(e).message
                                     : QString::fromLocal8Bit(e.what()));
        return false;
    }
}

int run(const Batch_args& args, const Action& action, const Params* params,
        const Journal_work& work) {
    Progress_line progress(!args.quiet);

    install_sigint_handler();
    Rollout_outcome r;
    try {
        r = run_rollout(args, action, work, params, progress);
    } catch (...) {
        restore_sigint_handler();
        throw;
    }
    restore_sigint_handler();
    progress.clear();

    print_results(params);
    const bool lists_written =
        write_list(args.failed_out, false) & write_list(args.succeeded_out, true);
    // A reader that went away is an interruption; a full disk loses the results.
    const int out_error = stdout_status();
    const bool out_lost = out_error != 0 && out_error != EPIPE;

    const Tally t = count_results();
    if (!args.quiet) {
        if (r.interrupted && sigint_received())
            print_line(stderr, signal_name()
                                   ? errfmt_interrupted_by.tr().arg(QLatin1String(signal_name()))
                                   : text_interrupted.tr());
        else if (r.interrupted || out_error == EPIPE)
            print_line(stderr, text_stdout_closed.tr());
        if (r.stopped)
            print_line(stderr, r.stop_message);
        print_line(stderr,
                   fmt_summary.tr().arg(t.total).arg(t.succeeded).arg(t.total - t.succeeded));
    }
    if (!r.file_error.isEmpty())
        print_line(stderr, r.file_error);
    if (out_lost)
        print_line(stderr, stdout_error_text(out_error));
    if (!r.engine_error.isEmpty()) {
        print_line(stderr, r.engine_error);
        return 3;
    }
    if (!lists_written || !r.file_error.isEmpty() || out_lost)
        return 2;
    if (r.interrupted || out_error == EPIPE)
        return 1;
    if (r.stopped)
        return 4;
    return t.succeeded != t.total ? 1 : 0;
}

} // namespace

int run_upload(const Batch_args& args) {
    if (args.has_as && args.as.isEmpty())
        throw Err(errtext_empty_as.tr());
    load_batch_config(args);
    Upload_purpose purpose;
    if (args.has_as) {
        if (args.as == QLatin1String("firmware"))
            purpose = Upload_purpose::firmware;
        else if (args.as == QLatin1String("settings"))
            purpose = Upload_purpose::settings;
        else
            purpose = Upload_purpose::other;
        set_upload_devfname(purpose, args.as, caption_devfname.tr());
    } else {
        // As the configuration page picks the file purpose when a configuration opens.
        purpose = upload_purpose_of(devfname);
    }
    if (configuration.devices.count == 0)
        throw Err(errtext_nothing_to_upload.tr());
    const Upload_file file(args.file);
    // Every device would take it and answer with success, leaving nothing on it.
    if (firmware.isEmpty())
        throw Err(errfmt_empty_upload.tr().arg(args.file));
    const std::unique_ptr<Action> action = make_upload_action(purpose);
    return run(args, *action, nullptr, file.work());
}

int run_gather(const Batch_args& args) {
    load_batch_config(args);
    if (configuration.devices.count == 0)
        throw Err(errtext_nothing_to_gather.tr());
    const std::unique_ptr<Params> params = make_version_params();
    Action_gather action(*params);
    return run(args, action, params.get(), Journal_work{QStringLiteral("gather"), {}, {}});
}

namespace {

struct Device_command {
    const char* word;
    unsigned char code;
    Tr* name;
    bool needs_yes;
};

const Device_command device_commands[] = {
    {"restart", 1, &name_RESTART, false},
    {"factory", 5, &name_FACTORY, true},
    {"dropbbox", 6, &name_DROPBBOX, true},
    {"cleargnss", 59, &name_CLEARGNSS, false},
};

} // namespace

int run_command(const Batch_args& args) {
    const Device_command* command = nullptr;
    for (const Device_command& c : device_commands)
        if (args.device_command == QLatin1String(c.word))
            command = &c;
    if (!command)
        throw Debug(0x2102);
    // Refused before anything is read, so that no password is asked for nothing.
    if (command->needs_yes && !args.yes)
        throw Err(errfmt_needs_yes.tr().arg(command->name->tr()));
    load_batch_config(args);
    if (configuration.devices.count == 0)
        throw Err(errtext_nothing_to_command.tr());
    Action_cmd action(command->code, command->name->tr());
    const Journal_work work{QStringLiteral("command ") + args.device_command, {}, {}};
    return run(args, action, nullptr, work);
}
