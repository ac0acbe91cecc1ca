#include "embed/qtruntime.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <clocale>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace ombrel {

namespace {

// QCoreApplication keeps references to these for its whole life.
int g_argc = 1;
char g_name[] = "ombrelscan";
char *g_argv[] = {g_name, nullptr};

std::string currentLocale(int category)
{
    const char *name = std::setlocale(category, nullptr);
    return name ? name : "C";
}

// Runs on the Qt thread: makes the application and gives the host its
// locale back.
void makeApplication()
{
    const std::string hostLocale = currentLocale(LC_ALL);
    new QCoreApplication(g_argc, g_argv); // lives as long as the process
    const std::string qtCtype = currentLocale(LC_CTYPE);
    std::setlocale(LC_ALL, hostLocale.c_str());
    std::setlocale(LC_CTYPE, qtCtype.c_str());
}

} // namespace

bool ensureQtRuntime()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        if (QCoreApplication::instance()) {
            ready = true;
            return;
        }
        std::mutex mutex;
        std::condition_variable made;
        bool done = false;
        try {
            std::thread([&] {
                makeApplication();
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    done = true;
                }
                made.notify_one();
                // What Qt posts to its main thread is delivered here.
                QEventLoop loop;
                loop.exec();
            }).detach();
        } catch (const std::system_error &) {
            return;
        }
        std::unique_lock<std::mutex> lock(mutex);
        made.wait(lock, [&] { return done; });
        ready = true;
    });
    return ready;
}

} // namespace ombrel
