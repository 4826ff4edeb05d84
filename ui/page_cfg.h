#pragma once
// Page 1 of the main window: the open configuration as tables of servers and devices, the
// device filter, the purpose of the next upload, and every operation on the devices.

#include <QModelIndex>
#include <QString>
#include <QWidget>
#include <memory>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLineEdit;
class QStackedLayout;
class QVBoxLayout;
class Params;
class Table_devices;
class Table_servers;

// What the upload button runs once the file is in `firmware`: the exchange dialog and the
// result dialogs, with the page as their parent.
using Upload_function = void (*)(QWidget* parent);

// The upload functions of the purposes "прошивка", "файл настроек" and "другое", in the
// order of the purpose box.
extern const Upload_function page_cfg_upload_functions[3];

// The last file chosen for upload: where the next upload's file dialog starts.
extern QString last_fw_fname;

class Page_cfg : public QWidget {
    Q_OBJECT
public:
    explicit Page_cfg(QWidget* parent);
    ~Page_cfg() override;

    // Connected by the main window.
    QAbstractButton* btn_about;
    QAbstractButton* btn_exit;
    QAbstractButton* btn_close;
    QAbstractButton* btn_switch_to_text;

    Table_devices* table_devices;
    // What "Собрать информацию" reads from every device.
    std::unique_ptr<Params> gather_params;
    Table_servers* table_servers;
    QLineEdit* devices_filter;
    QComboBox* cbox_filter_field;
    QComboBox* cbox_devfname;
    QStackedLayout* stack_devfname_label;
    QStackedLayout* stack_devfname_ebox;
    QLineEdit* ebox_devfname;
    // The version check of the uploads (ui/page_cfg_version.cpp): the version expected (empty:
    // no check), the parameter that shows it, skip the current, verify after the upload.
    QLineEdit* ebox_version;
    QComboBox* cbox_version_param;
    QCheckBox* chk_skip_current;
    QCheckBox* chk_verify;

    QAbstractButton* btn_add_server;
    QAbstractButton* btn_delete_server;
    QAbstractButton* btn_edit_server;
    QAbstractButton* btn_add_device;
    QAbstractButton* btn_delete_device;
    QAbstractButton* btn_edit_device;
    QAbstractButton* btn_upload; // its text follows the file purpose
    QAbstractButton* btn_gather;
    QAbstractButton* btn_commands;
    QAbstractButton* btn_options;
    QAbstractButton* btn_resume; // runs again what a journal records as not done
    QAbstractButton* btn_save;

    bool modified = false;

    // The configuration changed since it was last written: the flag, or an edited device
    // file name.
    bool is_modified() const;

    // Binds the tables to the global configuration, which has just become open, and shows
    // its device file name; the modified flag becomes `modified_at_start`.
    void create_contents(bool modified_at_start);
    // Releases the tables before the configuration is cleared.
    void destroy_contents();

    // Takes the file purpose: sets devfname and gives the upload file dialog's title and
    // filter and the upload function. Throws Err for a bad device file name.
    void req_values(QString& title, QString& filter, Upload_function& upload);
    // Takes the version check of the upload into desktop_version_check. Throws Err, leaving
    // it as it was, for a version no device can show or one with neither check ticked.
    void req_version();

public slots:
    void on_btn_add_server_clicked();
    void on_btn_delete_server_clicked();
    void on_btn_edit_server_clicked();
    void on_table_servers_double_click(const QModelIndex& index);
    void on_btn_add_device_clicked();
    void on_btn_delete_device_clicked();
    void on_btn_edit_device_clicked();
    void on_table_devices_double_click(const QModelIndex& index);
    void on_devices_filter_text_changed(const QString& text);
    void on_devices_filter_field_changed(int index);
    void on_devfname_changed(int index);
    void on_version_changed(const QString& text);
    void on_btn_options_clicked();
    void on_btn_resume_clicked();
    void on_btn_save_clicked();
    // Runs with the devices (ui/page_cfg_runs.cpp).
    void on_btn_upload_clicked();
    void on_btn_gather_clicked();
    void on_btn_commands_clicked();

private:
    // The constructor's parts, top to bottom, then the signals of what they built.
    QGroupBox* build_servers_group();
    QGroupBox* build_devices_group();
    QGridLayout* build_purpose_rows();
    // The version check's rows below the purpose, from `row` (ui/page_cfg_version.cpp).
    void add_version_rows(QGridLayout* grid, int row);
    void build_buttons(QVBoxLayout* layout);
    void connect_signals();
    // Sets up the upload, gather and commands buttons once the page is built
    // (ui/page_cfg_runs.cpp).
    void init_run_buttons();
};

void page_cfg_clear_translation();

class Tr_with_hint;
// "Продолжить по журналу" and its tooltip (ui/page_cfg_resume.cpp).
Tr_with_hint& caption_resume();
void page_cfg_resume_clear_translation();
void page_cfg_version_clear_translation();
