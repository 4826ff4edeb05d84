#pragma once
// The set-up of an upload that both front ends share: the purpose of the file gives the name
// under which the device keeps it, the file is read whole into `firmware` with its CRC-32 in
// `firmware_sum`, and both are cleared whatever way the run ends.
//
//     set_upload_devfname(purpose, typed_name, caption);   // throws Err, devfname kept whole
//     Upload_file file(path);                              // throws Err; clears on every exit
//     auto action = make_upload_action(purpose);
//     ... run the action; file.work() names it in a journal ...

#include "engine/journal.h"

#include <QString>
#include <memory>

class Action;

enum class Upload_purpose { firmware, settings, other };

// The purpose that a device file name stands for, as a configuration's devfname is read:
// "FIRMWARE" and "SETTINGS" are theirs, any other name is another file.
Upload_purpose upload_purpose_of(const char* devfname);

// Sets devfname for the purpose: the fixed names, or for another file `other_name` checked as
// the device file name field is (at most 10 printable ASCII characters; `caption` names the
// field in the message). Throws Err and leaves devfname as it was when the name is refused.
void set_upload_devfname(Upload_purpose purpose, const QString& other_name, const QString& caption);

// The action that uploads the file for the purpose.
std::unique_ptr<Action> make_upload_action(Upload_purpose purpose);

// Holds the file of an upload in `firmware` and `firmware_sum` for its lifetime.
class Upload_file {
public:
    // Reads the file whole (at most the size load_file allows) and computes its CRC-32.
    // Throws Err with the file's message; nothing is held then.
    explicit Upload_file(const QString& path);
    ~Upload_file();
    Upload_file(const Upload_file&) = delete;
    Upload_file& operator=(const Upload_file&) = delete;

    // The work of this upload for a journal: "upload", devfname, the CRC-32 in hexadecimal.
    Journal_work work() const;
};
