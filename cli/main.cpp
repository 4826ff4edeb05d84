// zelmo_batch: the core of zelmo_upload without a display, for scripts and remote machines.
#include "cli/batch_main.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    int code;
    {
        QCoreApplication app(argc, argv);
        code = batch_main(argc, argv);
    }
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return code; // the sanitizers' checks at exit see everything taken apart
#else
    // All is written and every file closed; the process ends without taking the configuration
    // apart device by device, which for many devices costs more than printing their results.
    std::fflush(nullptr);
    std::_Exit(code);
#endif
}
