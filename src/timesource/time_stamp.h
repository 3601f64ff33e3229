// CTimeStamp: one bound time source plug-in. It loads the library it is named,
// looks up the 17 entry points of the contract (time_source_plugin.h) in table
// order and is Loaded when every required one is there. The library is unloaded
// when the object is destroyed; the destructor does not call Uninitialize.
//
// The calls below go to the plug-in's entry points; each is safe to make only on a
// Loaded binding (on any other it does nothing and reports false or 0). Whatever
// the plug-in throws passes through (time_source_plugin.h says when it can).
// Threads: the object adds no locking; its owner keeps it alive while any thread
// calls it (CTimeSourceManager hands out shared references).
#ifndef ZELTO_TIMESOURCE_TIME_STAMP_H_
#define ZELTO_TIMESOURCE_TIME_STAMP_H_

#include <cstdint>
#include <string>

#include "platform/scoped_library.h"
#include "timesource/time_source_plugin.h"
#include "zeltorgb/image_record.h"

namespace zelto {

class CTimeStamp {
 public:
  // Loads `name` (a file name takes the system's library search) and resolves the
  // entry points. A library that does not load is traced as
  // "Time Source Manager: Failed to load <name>" and leaves the object not Loaded.
  explicit CTimeStamp(std::u16string name);
  virtual ~CTimeStamp();
  CTimeStamp(const CTimeStamp&) = delete;
  CTimeStamp& operator=(const CTimeStamp&) = delete;

  // The library loaded and every required entry point was found.
  bool Loaded() const { return Loaded_; }
  const std::u16string& LibraryName() const { return LibraryName_; }

  // False refuses the binding.
  virtual bool Initialize();
  virtual void Uninitialize();
  virtual void ClearEvents();
  // Sees (and may change) a committed frame's record; the result is the plug-in's.
  virtual bool ProcessImageData(ImageRecord* record);
  virtual uint32_t GetSynchronizationStatus();
  virtual bool IsGPSSupported();
  virtual void GetGPSData(uint32_t value, bool flag);
  virtual void StopReadingGPSData();

 protected:
  // For test doubles that override the calls: no library, not Loaded.
  CTimeStamp() = default;

 private:
  struct EntryTable {
#define ZELTO_TIME_SOURCE_MEMBER(name, required, result, params) \
  PFN_TimeSource_##name name = nullptr;
    ZELTO_TIME_SOURCE_ENTRY_POINTS(ZELTO_TIME_SOURCE_MEMBER)
#undef ZELTO_TIME_SOURCE_MEMBER
  };

  platform::ScopedLibrary Library;
  std::u16string LibraryName_;
  bool Loaded_ = false;
  EntryTable Entries;
};

}  // namespace zelto

#endif  // ZELTO_TIMESOURCE_TIME_STAMP_H_
