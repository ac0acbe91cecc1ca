#include "embed/qtruntime.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <clocale>
#include <cstdlib>
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
    new QCoreApplication(g_argc, g_argv); // deleted at exit, on this thread
    const std::string qtCtype = currentLocale(LC_CTYPE);
    std::setlocale(LC_ALL, hostLocale.c_str());
    std::setlocale(LC_CTYPE, qtCtype.c_str());
}

// The Qt thread and its loop, ended at exit so that the application and
// the thread are freed before Qt's own statics go.
std::thread *g_qtThread = nullptr;
QEventLoop *g_qtLoop = nullptr;

void endQtThread()
{
    QMetaObject::invokeMethod(g_qtLoop, "quit", Qt::QueuedConnection);
    g_qtThread->join();
    delete g_qtThread;
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
            g_qtThread = new std::thread([&] {
                makeApplication();
                // What Qt posts to its main thread is delivered here.
                QEventLoop loop;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    g_qtLoop = &loop;
                    done = true;
                }
                made.notify_one();
                loop.exec();
                delete QCoreApplication::instance();
            });
        } catch (const std::system_error &) {
            return;
        }
        std::unique_lock<std::mutex> lock(mutex);
        made.wait(lock, [&] { return done; });
        std::atexit(endQtThread);
        ready = true;
    });
    return ready;
}

} // namespace ombrel
