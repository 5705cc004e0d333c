// Saves two blocks into a log by turns until it is killed. The fault tests
// kill it at random moments and look at what the log holds.
#include "datalog/LogFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: log-writer PATH replace|append BLOCK-BYTES\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const auto mode = std::strcmp(argv[2], "append") == 0 ? ondril::LogMode::Append : ondril::LogMode::Replace;
    const int size = std::atoi(argv[3]);
    const QByteArray blocks[] = {QByteArray(size, 'a') + "\r\n", QByteArray(size, 'b') + "\r\n"};
    for (unsigned i = 0;; ++i) {
        QString why;
        if (!ondril::writeLog(path, {blocks[i % 2]}, mode, &why)) {
            std::fprintf(stderr, "log-writer: %s\n", qPrintable(why));
            return 1;
        }
        if (i == 0) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
}
