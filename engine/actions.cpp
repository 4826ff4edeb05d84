#include "engine/actions.h"

#include "config/config.h"
#include "engine/actor.h"
#include "engine/engine.h"
#include "engine/params.h"
#include "engine/version_check.h"

#include <cstring>

QByteArray firmware;
uint32_t firmware_sum = 0;

QString devfname_text() {
    return QString::fromLatin1(devfname, int(strnlen(devfname, devfname_max)));
}

static QString title(Tr* text, bool has_arg, const QString& arg) {
    return has_arg ? text->tr().arg(arg) : text->tr();
}

Action::Action(Kind kind, const Action_texts& texts, bool has_title_arg, const QString& title_arg)
    : kind(kind), exchange_title(title(texts.exchange_title, has_title_arg, title_arg)),
      abort_button(texts.abort_button), abort_question(texts.abort_question),
      result_title(title(texts.result_title, has_title_arg, title_arg)),
      all_good_caption(texts.all_good_caption), good_caption(texts.good_caption),
      bad_caption(texts.bad_caption), all_bad_caption(texts.all_bad_caption),
      good_button_hint(texts.good_button_hint), bad_button_hint(texts.bad_button_hint),
      close_hint(texts.close_hint->tr()), drop_question(texts.drop_question) {}

Action::~Action() = default;

Step Action_upload::start(Actor& actor) const {
    const Engine& e = *actor.engine;
    if (e.version_pass == Engine::Version_pass::none)
        return Actor::send_upfile;
    // The version first: before the file (skip) or in its place (verify).
    size_values(actor.device->values, *e.version_params);
    actor.param_index = e.version->param;
    return Actor::send_getparam;
}

Action_upload_firmware::Action_upload_firmware()
    : Action_upload(upload_firmware, action_texts_firmware, false, QString()) {}

Action_upload_settings::Action_upload_settings()
    : Action_upload(upload_settings, action_texts_settings, false, QString()) {}

Action_upload_other::Action_upload_other()
    : Action_upload(upload_other, action_texts_other, true, devfname_text()) {}

Action_gather::Action_gather(const Params& params)
    : Action(gather, action_texts_gather, false, QString()), params(&params) {}

Step Action_gather::start(Actor& actor) const {
    size_values(actor.device->values, *params);
    actor.param_index = 0;
    return Actor::send_getparam;
}

Action_cmd::Action_cmd(unsigned char command_code, const QString& command_name)
    : Action(cmd, action_texts_cmd, true, command_name), command_code(command_code),
      command_name(command_name) {}

Step Action_cmd::start(Actor&) const {
    return Actor::send_cmd;
}
