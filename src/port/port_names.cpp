#include "port_names.h"

#include <QDir>
#include <QFileInfo>

namespace port {

QString resolvePortName(int number, const QString& programFolder)
{
    if (number < 1)
        return {};
#ifdef Q_OS_WIN
    Q_UNUSED(programFolder);
    return QStringLiteral("COM%1").arg(number);
#else
    if (!programFolder.isEmpty()) {
        const QString entry = programFolder + QStringLiteral("/ports/COM%1").arg(number);
        const QFileInfo info(entry);
        if (info.isSymLink()) {
            // symLinkTarget() is absolute, relative targets counted from the link's folder.
            const QString target = info.symLinkTarget();
            // A chain of links (/dev/serial/by-id/...) ends at the real device: open that,
            // so the lock that marks a busy port is the same whichever name was used.
            const QString real = QFileInfo(target).canonicalFilePath();
            return real.isEmpty() ? QDir::cleanPath(target) : real;
        }
        if (info.exists())
            return info.absoluteFilePath();
    }
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

} // namespace port
