#include "ui/desktop_rollout.h"

#include "config/config.h"
#include "engine/actions.h"
#include "foundation/err.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

Version_check desktop_version_check;

namespace {

// The words of zelmo_batch's commands, so that either program resumes the other's journal.
const char* command_word(unsigned char code) {
    switch (code) {
    case 1:
        return "restart";
    case 5:
        return "factory";
    case 6:
        return "dropbbox";
    case 59:
        return "cleargnss";
    default:
        return nullptr;
    }
}

} // namespace

Journal_work desktop_work(const Action& action) {
    switch (action.kind) {
    case Action::upload_firmware:
    case Action::upload_settings:
    case Action::upload_other:
        return Journal_work{QStringLiteral("upload"), QString::fromLatin1(devfname),
                            QStringLiteral("%1").arg(firmware_sum, 8, 16, QLatin1Char('0'))};
    case Action::gather:
        return Journal_work{QStringLiteral("gather"), {}, {}};
    case Action::cmd: {
        const unsigned char code = static_cast<const Action_cmd&>(action).command_code;
        const char* word = command_word(code);
        return Journal_work{QStringLiteral("command ") +
                                (word ? QLatin1String(word) : QString::number(code)),
                            {},
                            {}};
    }
    }
    throw Debug(0x0E40);
}

QString desktop_journal_name(const QDateTime& start) {
    const QString dir = QFileInfo(QString::fromLocal8Bit(log_file_name)).absolutePath();
    return QDir(dir).filePath(QStringLiteral("zelmo_upload-%1.journal")
                                  .arg(start.toString(QStringLiteral("yyyyMMdd-HHmmss"))));
}

Rollout_setup desktop_rollout_setup(const Action& action, const QString& resume) {
    Rollout_setup setup;
    setup.action = &action;
    if (action.kind == Action::gather)
        setup.params = static_cast<const Action_gather&>(action).params;
    setup.work = desktop_work(action);
    setup.policy = rollout_policy_from_options();
    const bool upload = action.kind == Action::upload_firmware ||
                        action.kind == Action::upload_settings ||
                        action.kind == Action::upload_other;
    if (upload && desktop_version_check.any()) {
        setup.version = desktop_version_check;
        setup.version.verify_delay_ms = verify_delay;
    }
    if (resume.isEmpty())
        setup.journal = desktop_journal_name(QDateTime::currentDateTime());
    else
        setup.resume = resume;
    return setup;
}
