#include "platform/kernel/OsVersion.h"

#include <mutex>

namespace platform {

namespace {

std::mutex g_mutex;
bool g_overridden = false;
OsVersionInfo g_info;

} // namespace

OsVersionInfo GetVersionEx()
{
    std::lock_guard<std::mutex> guard(g_mutex);
    return g_overridden ? g_info : OsVersionInfo();
}

void setVersionForTests(const OsVersionInfo& info)
{
    std::lock_guard<std::mutex> guard(g_mutex);
    g_info = info;
    g_overridden = true;
}

void resetVersionForTests()
{
    std::lock_guard<std::mutex> guard(g_mutex);
    g_overridden = false;
    g_info = OsVersionInfo();
}

} // namespace platform
