#include "device_access.h"

#include <QFile>

#include <unistd.h>

namespace port {

bool mayReadAndWrite(const QString& devicePath)
{
    return ::access(QFile::encodeName(devicePath).constData(), R_OK | W_OK) == 0;
}

} // namespace port
