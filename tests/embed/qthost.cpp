// The tests of tst_embed.c in a host that has its own QCoreApplication,
// which the library must use rather than make one.
#include <QCoreApplication>

#include <cstdio>

extern "C" int run_embed_tests(void);

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int failures = run_embed_tests();
    if (QCoreApplication::instance() != &app) {
        std::printf("FAIL: the host's QCoreApplication was replaced\n");
        return failures + 1;
    }
    return failures;
}
