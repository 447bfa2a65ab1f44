#include "app/Context.h"
#include "bigfile/HugeBinaryFile.h"

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
    if (CopySource && CopySource->IsOpen())
        CopySource->CloseFile();
    CopySource.reset();
    if (CopyTarget && CopyTarget->IsOpen())
        CopyTarget->CloseFile();
    CopyTarget.reset();
}
