// A tiny library for the dynamic-library tests: one export with a known result.
#ifdef _WIN32
#define FIXTURE_EXPORT extern "C" __declspec(dllexport)
#else
#define FIXTURE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

FIXTURE_EXPORT int ZeltoFixtureTwicePlusOne(int value) { return value * 2 + 1; }
