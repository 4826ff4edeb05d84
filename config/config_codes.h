#pragma once
// The debug codes of the configuration and its files (source 26), one list for the files
// that share the source, grouped by file. The allocations of a selection, the description's
// server and the container's own have fixed numbers; the others follow as the compiler counts.

enum Config_code : unsigned short {
    // container.cpp
    code_encoder_output = 0x1A04, // encoder output too long or odd property size
    // ui/config_files_gui.cpp
    code_save_to_file = 0x1A05,
    // collection.cpp
    code_select_success_servers = 0x1A07,
    code_select_success_devices,
    code_select_failure_servers,
    code_select_failure_devices,
    code_description_server, // 0x1A0B
    code_server_description_row,
    code_device_description_row,
    // options.cpp
    code_get_option,
    code_set_option,
    // configuration.cpp
    code_delete_server_row,
    code_delete_server_in_use,
    code_change_server_row,
    code_add_device_server,
    code_delete_device_row,
    code_change_device_row,
    // container.cpp
    code_empty_password,
};
static_assert(code_description_server == 0x1A0B, "the configuration's fixed codes");
