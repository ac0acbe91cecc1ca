#include "launcher/cache/atomicfile.h"

#include "launcher/core/systemerror.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrel {

bool replaceFileContents(const QString &file, const QByteArray &contents, QString *error)
{
    const QByteArray target = QFile::encodeName(file);
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    bool ok = ::fchmod(fd, 0644) == 0;
    for (qint64 done = 0; ok && done < contents.size();) {
        const ssize_t n = ::write(fd, contents.constData() + done, size_t(contents.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            ok = false;
    }
    ok = ok && ::fsync(fd) == 0;
    const int reason = errno;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.constData(), target.constData()) == 0;
    if (!ok) {
        *error = systemError(errno != 0 ? errno : reason);
        ::unlink(temporary.constData());
    }
    return ok;
}

} // namespace ombrel
