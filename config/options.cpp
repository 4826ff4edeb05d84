#include "config/options.h"

#include "config/config_codes.h"
#include "foundation/err.h"

unsigned long long simultaneously = 100;
int connect_timeout = 10000;
int disconnect_timeout = 3000;
int link_timeout = 3000;
int auth_timeout = 10000;
int upfile_timeout = 900000;
int getparam_timeout = 10000;
int cmd_timeout = 10000;
int enumerate_timeout = 5000;
int ping_answer_timeout = 2000;
int reconnect_delay = 1000;

bool simultaneously_defined = false;
bool connect_timeout_defined = false;
bool disconnect_timeout_defined = false;
bool link_timeout_defined = false;
bool auth_timeout_defined = false;
bool upfile_timeout_defined = false;
bool getparam_timeout_defined = false;
bool cmd_timeout_defined = false;
bool enumerate_timeout_defined = false;
bool ping_answer_timeout_defined = false;
bool reconnect_delay_defined = false;

constexpr unsigned max_timeout = 86400000;

const Option_info option_info[option_count] = {
    {"simultaneously", 100, 65535, &simultaneously_defined},
    {"connect_timeout", 10000, max_timeout, &connect_timeout_defined},
    {"disconnect_timeout", 3000, max_timeout, &disconnect_timeout_defined},
    {"link_timeout", 3000, max_timeout, &link_timeout_defined},
    {"auth_timeout", 10000, max_timeout, &auth_timeout_defined},
    {"upfile_timeout", 900000, max_timeout, &upfile_timeout_defined},
    {"getparam_timeout", 10000, max_timeout, &getparam_timeout_defined},
    {"cmd_timeout", 10000, max_timeout, &cmd_timeout_defined},
    {"enumerate_timeout", 5000, max_timeout, &enumerate_timeout_defined},
    {"ping_answer_timeout", 2000, max_timeout, &ping_answer_timeout_defined},
    {"reconnect_delay", 1000, max_timeout, &reconnect_delay_defined},
};

// The time-outs in the order of option_info, after simultaneously.
static int* const timeout_values[option_count - 1] = {
    &connect_timeout,     &disconnect_timeout, &link_timeout, &auth_timeout,
    &upfile_timeout,      &getparam_timeout,   &cmd_timeout,  &enumerate_timeout,
    &ping_answer_timeout, &reconnect_delay,
};

unsigned get_option(int index) {
    if (index == opt_simultaneously)
        return unsigned(simultaneously);
    if (index > 0 && index < option_count)
        return unsigned(*timeout_values[index - 1]);
    throw Debug(code_get_option);
}

void set_option(int index, unsigned value) {
    if (index == opt_simultaneously)
        simultaneously = value;
    else if (index > 0 && index < option_count)
        *timeout_values[index - 1] = int(value);
    else
        throw Debug(code_set_option);
}

void reset_options() {
    for (int i = 0; i < option_count; ++i) {
        set_option(i, option_info[i].default_value);
        *option_info[i].defined = false;
    }
}

const char default_devfname[devfname_max + 1] = "FIRMWARE";
char devfname[devfname_max + 1] = "FIRMWARE";
