#include "core/Context.h"

Context::Context(UiHost *host) : ui(host)
{
    clock.start();
}

Context::~Context()
{
    closeCopierFiles();
}

void Context::closeCopierFiles()
{
    // Each file's own release closes it (and its lock) before it is freed.
    CopySource.reset();
    CopyTarget.reset();
}
