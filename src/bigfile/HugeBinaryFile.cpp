// Placeholder until the file layer lands.
#include "bigfile/HugeBinaryFile.h"
#include <unistd.h>
HugeBinaryFile::~HugeBinaryFile() { if (fd_ != -1) ::close(fd_); }
void HugeBinaryFile::CloseFile() { if (fd_ != -1) ::close(fd_); fd_ = -1; }
