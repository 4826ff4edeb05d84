#pragma once
// What a run does to each device, and every text that the exchange and result windows show
// for it. An action is built by whoever starts a run, outlives the run, and is only read by
// the engine's thread.

#include "foundation/err.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

class Zelmo_client;
class Actor;
class Params;

using Step = void (*)(Zelmo_client*);

// Upload inputs, filled before an upload run and read-only while it lasts: the whole file and
// its CRC-32. The name on the device is devfname (configuration).
extern QByteArray firmware;
extern uint32_t firmware_sum;

// The fixed texts of one kind of action; null where the kind has no such text.
struct Action_texts {
    Tr* exchange_title;
    Tr_with_hint* abort_button;
    Tr_with_hint* abort_question;
    Tr* result_title;
    Tr_with_hint* all_good_caption;
    Tr_with_hint* good_caption;
    Tr_with_hint* bad_caption;
    Tr_with_hint* all_bad_caption;
    Tr* good_button_hint;
    Tr* bad_button_hint;
    Tr* close_hint;
    Tr_with_hint* drop_question;
};

extern const Action_texts action_texts_firmware;
extern const Action_texts action_texts_settings;
extern const Action_texts action_texts_other;
extern const Action_texts action_texts_gather;
extern const Action_texts action_texts_cmd;

// The list of succeeded devices is shown by the result dialogs (widgets library): they ask
// the action's kind and, for a gather, its parameters.
class Action {
public:
    enum Kind : unsigned char { upload_firmware, upload_settings, upload_other, gather, cmd };

    Action(const Action&) = delete;
    Action& operator=(const Action&) = delete;
    virtual ~Action();

    // Prepares the actor's current device and returns the step that sends the first request
    // of the exchange. Runs in the engine's thread, once per authorised device.
    virtual Step start(Actor& actor) const = 0;

    const Kind kind;
    QString exchange_title;
    Tr_with_hint* abort_button;
    Tr_with_hint* abort_question; // null: abort without asking
    QString result_title;
    Tr_with_hint* all_good_caption; // null: show the success list instead
    Tr_with_hint* good_caption;
    Tr_with_hint* bad_caption;
    Tr_with_hint* all_bad_caption;
    Tr* good_button_hint;
    Tr* bad_button_hint;
    QString close_hint;
    Tr_with_hint* drop_question; // null: never ask

protected:
    // For the kinds whose titles name something, title_arg replaces %1 in both titles.
    Action(Kind kind, const Action_texts& texts, bool has_title_arg, const QString& title_arg);
};

// Uploads the program-wide firmware buffer under devfname.
class Action_upload : public Action {
public:
    Step start(Actor& actor) const override;

protected:
    using Action::Action;
};

class Action_upload_firmware : public Action_upload {
public:
    Action_upload_firmware();
};

class Action_upload_settings : public Action_upload {
public:
    Action_upload_settings();
};

// The titles name devfname.
class Action_upload_other : public Action_upload {
public:
    Action_upload_other();
};

class Action_gather : public Action {
public:
    explicit Action_gather(const Params& params);
    Step start(Actor& actor) const override;

    const Params* params; // not owned
};

class Action_cmd : public Action {
public:
    Action_cmd(unsigned char command_code, const QString& command_name);
    Step start(Actor& actor) const override;

    unsigned char command_code;
    QString command_name;
};

// devfname as text, up to its zero byte.
QString devfname_text();

void action_texts_clear_translation();
