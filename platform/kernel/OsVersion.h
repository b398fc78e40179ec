#pragma once

namespace platform {

// The platform's version query. On this system it reports an NT-family version 6.1, so the
// version-specific paths that only older systems take stay off unless a test sets another value.
struct OsVersionInfo {
    int platformId = 2;
    int majorVersion = 6;
    int minorVersion = 1;
};

OsVersionInfo GetVersionEx();

// Test seam: the version reported from now on; reset with resetVersionForTests().
void setVersionForTests(const OsVersionInfo& info);
void resetVersionForTests();

} // namespace platform
