// Times the header read that picks each file's scanner: every plug-in file
// under the folders given, read `rounds` times; prints the median round's
// cost per file and what the files were found to be.
// Usage: ombrel-bench-headers <rounds> <folder>...

#include "launcher/files/binaryformat.h"
#include "launcher/files/candidates.h"

#include <QElapsedTimer>
#include <QMap>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace ombrel;

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fputs("usage: ombrel-bench-headers <rounds> <folder>...\n", stderr);
        return 2;
    }
    const int rounds = std::max(1, std::atoi(argv[1]));
    QStringList folders;
    for (int i = 2; i < argc; ++i)
        folders << QString::fromLocal8Bit(argv[i]);
    const QStringList files = findCandidates(folders);
    if (files.isEmpty()) {
        std::fputs("ombrel-bench-headers: no plug-in files found\n", stderr);
        return 1;
    }

    QMap<QString, int> kinds;
    std::vector<double> perFile;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        for (const QString &file : files) {
            const BinaryFormat format = readBinaryFormat(file);
            if (round == 0)
                ++kinds[format.container == Container::None ? QStringLiteral("none") : describe(format)];
        }
        perFile.push_back(double(clock.nsecsElapsed()) / 1000.0 / double(files.size()));
    }
    const double first = perFile.front();
    std::sort(perFile.begin(), perFile.end());
    std::printf("header read: %d files, median of %d rounds %.1f us per file (first round %.1f us)\n",
                int(files.size()), rounds, perFile[perFile.size() / 2], first);
    for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
        std::printf("  %4d  %s\n", it.value(), qPrintable(it.key()));
    return 0;
}
