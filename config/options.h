#pragma once
// The exchange options and the device file name: process-wide globals that travel inside the
// configuration text. Each numeric option has a "defined" flag telling whether the
// configuration states it (only defined options are written to the text). Times in ms.

extern unsigned long long simultaneously; // 1..65535, default 100
extern int connect_timeout;               // 1..86400000, default 10000
extern int disconnect_timeout;            // default 3000
extern int link_timeout;                  // default 3000
extern int auth_timeout;                  // default 10000
extern int upfile_timeout;                // default 900000
extern int getparam_timeout;              // default 10000
extern int cmd_timeout;                   // default 10000
extern int enumerate_timeout;             // default 5000
extern int ping_answer_timeout;           // default 2000
extern int reconnect_delay;               // default 1000

// The rollout policy (see engine/rollout_policy.h). 0 while not defined, which means: no cap,
// no canary, no stop, no retry; retry_delay and verify_delay have defaults.
extern unsigned max_per_server;       // 1..65535: connections at once to one server
extern unsigned canary;               // 1..999999: devices of the trial group served first
extern unsigned stop_after_failures;  // 1..999999: failed devices that stop the run
extern unsigned stop_at_failure_rate; // 1..100: per cent of failures that stops the run
extern unsigned retry_passes;         // 1..10: passes over the devices that failed
extern unsigned retry_delay;          // 1..86400000 ms before each retry pass, default 5000
extern unsigned verify_delay;         // 1..86400000 ms before the version check pass, default 60000

extern bool simultaneously_defined;
extern bool connect_timeout_defined;
extern bool disconnect_timeout_defined;
extern bool link_timeout_defined;
extern bool auth_timeout_defined;
extern bool upfile_timeout_defined;
extern bool getparam_timeout_defined;
extern bool cmd_timeout_defined;
extern bool enumerate_timeout_defined;
extern bool ping_answer_timeout_defined;
extern bool reconnect_delay_defined;
extern bool max_per_server_defined;
extern bool canary_defined;
extern bool stop_after_failures_defined;
extern bool stop_at_failure_rate_defined;
extern bool retry_passes_defined;
extern bool retry_delay_defined;
extern bool verify_delay_defined;

// The options in the order of the text. The first eleven are the exchange options of the
// options dialog's rows; the rollout options follow as a range of their own (the dialog's
// group "Безопасный запуск"), so that a text without them is written as it always was.
enum Option_index {
    opt_simultaneously,
    opt_connect_timeout,
    opt_disconnect_timeout,
    opt_link_timeout,
    opt_auth_timeout,
    opt_upfile_timeout,
    opt_getparam_timeout,
    opt_cmd_timeout,
    opt_enumerate_timeout,
    opt_ping_answer_timeout,
    opt_reconnect_delay,
    opt_max_per_server,
    opt_canary,
    opt_stop_after_failures,
    opt_stop_at_failure_rate,
    opt_retry_passes,
    opt_retry_delay,
    opt_verify_delay,
    option_count
};
constexpr int exchange_option_count = opt_max_per_server;
constexpr int first_rollout_option = opt_max_per_server;
constexpr int rollout_option_count = option_count - first_rollout_option;

struct Option_info {
    const char* key;        // the text key, also the name of the global
    unsigned default_value; // 0: none; the option is off while not defined
    unsigned maximum;       // the minimum of every option is 1
    bool* defined;
};
extern const Option_info option_info[option_count];

unsigned get_option(int index);
void set_option(int index, unsigned value);
// Every option back to its default, none defined. `devfname` is not touched.
void reset_options();
// True when some rollout option is defined: the run is then a rollout with phases.
bool rollout_options_defined();

// The file name under which a file is sent to a device: up to 10 printable ASCII characters,
// zero-terminated. Written to the text only when it differs from the default.
constexpr int devfname_max = 10;
extern char devfname[devfname_max + 1];
extern const char default_devfname[devfname_max + 1]; // "FIRMWARE"
