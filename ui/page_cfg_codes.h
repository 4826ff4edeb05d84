#pragma once
// The debug codes of the configuration page (source 3), shared by page_cfg.cpp and
// page_cfg_runs.cpp. The numbers of the connections and of the handlers that name a row are
// fixed; the others follow them as the compiler counts.

enum Page_cfg_code : unsigned short {
    // Failed connections in the group boxes, in the order they are made.
    code_connect_add_server = 769,
    code_connect_delete_server,
    code_connect_edit_server,
    code_connect_servers_double_click,
    code_connect_add_device,
    code_connect_delete_device,
    code_connect_edit_device,
    code_connect_devices_double_click, // 776
    // Failed connections of the page itself.
    code_connect_filter_text = 778,
    code_connect_filter_field,
    code_connect_devfname,
    code_connect_options,
    code_connect_upload,
    code_connect_gather,
    code_connect_commands,
    code_connect_save, // 785
    // Handlers that touch a selected row.
    code_delete_server,
    code_edit_server,
    code_servers_double_click,
    code_delete_device,
    code_edit_device,
    code_devices_double_click, // 791
    code_filter_field,         // an item the filter column box does not have
    code_purpose,              // an item the purpose box does not have
    code_upload,
    code_load_file, // 795
    code_save,
    code_gather,
    code_commands,
    code_connect_resume,
    code_resume,
    code_connect_version,
};
static_assert(code_connect_save == 785 && code_devices_double_click == 791 &&
                  code_filter_field == 792 && code_load_file == 795,
              "the page's fixed debug codes");
