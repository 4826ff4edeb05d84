// zelmo_batch: the core of zelmo_upload without a display, for scripts and remote machines.
#include "cli/batch_main.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return batch_main(argc, argv);
}
