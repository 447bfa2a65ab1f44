#include "core/Context.h"

Context::Context(UiHost *host) : ui(host)
{
    clock.start();
}

Context::~Context()
{
    if (batchAnswerer && ui && ui->answerer() == batchAnswerer.get())
        ui->setAnswerer(nullptr);
    closeCopierFiles();
}

void Context::closeCopierFiles()
{
    // Each file's own release closes it (and its lock) before it is freed.
    CopySource.reset();
    CopyTarget.reset();
}
