// A tiny library for the dynamic-library tests: one export with a known result.
#ifdef _WIN32
#define FIXTURE_EXPORT extern "C" __declspec(dllexport)
#else
#define FIXTURE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

FIXTURE_EXPORT int ZeltoFixtureTwicePlusOne(int value) { return value * 2 + 1; }

// Counts its calls from 1; the count starts again only when the library was
// really unloaded and loaded anew.
FIXTURE_EXPORT int ZeltoFixtureNextCount() {
  static int count = 0;
  return ++count;
}
