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
unsigned max_per_server = 0;
unsigned canary = 0;
unsigned stop_after_failures = 0;
unsigned stop_at_failure_rate = 0;
unsigned retry_passes = 0;
unsigned retry_delay = 5000;
unsigned verify_delay = 60000;

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
bool max_per_server_defined = false;
bool canary_defined = false;
bool stop_after_failures_defined = false;
bool stop_at_failure_rate_defined = false;
bool retry_passes_defined = false;
bool retry_delay_defined = false;
bool verify_delay_defined = false;

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
    {"max_per_server", 0, 65535, &max_per_server_defined},
    {"canary", 0, 999999, &canary_defined},
    {"stop_after_failures", 0, 999999, &stop_after_failures_defined},
    {"stop_at_failure_rate", 0, 100, &stop_at_failure_rate_defined},
    {"retry_passes", 0, 10, &retry_passes_defined},
    {"retry_delay", 5000, max_timeout, &retry_delay_defined},
    {"verify_delay", 60000, max_timeout, &verify_delay_defined},
};

// The time-outs in the order of option_info, after simultaneously.
static int* const timeout_values[exchange_option_count - 1] = {
    &connect_timeout,     &disconnect_timeout, &link_timeout, &auth_timeout,
    &upfile_timeout,      &getparam_timeout,   &cmd_timeout,  &enumerate_timeout,
    &ping_answer_timeout, &reconnect_delay,
};

// The rollout options in the order of option_info.
static unsigned* const rollout_values[rollout_option_count] = {
    &max_per_server, &canary,      &stop_after_failures, &stop_at_failure_rate,
    &retry_passes,   &retry_delay, &verify_delay,
};

unsigned get_option(int index) {
    if (index == opt_simultaneously)
        return unsigned(simultaneously);
    if (index > 0 && index < exchange_option_count)
        return unsigned(*timeout_values[index - 1]);
    if (index >= first_rollout_option && index < option_count)
        return *rollout_values[index - first_rollout_option];
    throw Debug(code_get_option);
}

void set_option(int index, unsigned value) {
    if (index == opt_simultaneously)
        simultaneously = value;
    else if (index > 0 && index < exchange_option_count)
        *timeout_values[index - 1] = int(value);
    else if (index >= first_rollout_option && index < option_count)
        *rollout_values[index - first_rollout_option] = value;
    else
        throw Debug(code_set_option);
}

bool rollout_options_defined() {
    for (int i = first_rollout_option; i < option_count; ++i)
        if (*option_info[i].defined)
            return true;
    return false;
}

void reset_options() {
    for (int i = 0; i < option_count; ++i) {
        set_option(i, option_info[i].default_value);
        *option_info[i].defined = false;
    }
}

const char default_devfname[devfname_max + 1] = "FIRMWARE";
char devfname[devfname_max + 1] = "FIRMWARE";
