// The plug-in's exports: the 17 entry points and the ZeltoTimeSource_ controls.
// Test builds leave entry points out with ZELTO_TIMESOURCE_OMIT_<name>. No
// exception leaves the library, except the one ProcessImageData throws when told to.
#include "time_source.h"
#include "timesource/time_source_plugin.h"
#include "zelto_time_source_control.h"

using zelto::TimeSourceEntry;
using zelto::timesource::TimeSource;

// Every entry point declared from the contract, so a definition that strays from
// its signature does not compile.
extern "C" {
#define ZELTO_TIMESOURCE_DECLARE(name, required, result, params) \
  result ZELTO_PLUGIN_CALL name params;
ZELTO_TIME_SOURCE_ENTRY_POINTS(ZELTO_TIMESOURCE_DECLARE)
#undef ZELTO_TIMESOURCE_DECLARE
}

namespace {

TimeSource& Plugin(TimeSourceEntry entry) {
  TimeSource& plugin = TimeSource::Instance();
  plugin.Count(entry);
  return plugin;
}

}  // namespace

#define ZELTO_TIMESOURCE_GUARD(fallback, expr) \
  try {                                        \
    return expr;                               \
  } catch (...) {                              \
    return fallback;                           \
  }

extern "C" {

#ifndef ZELTO_TIMESOURCE_OMIT_GetName
const char* ZELTO_PLUGIN_CALL GetName(void) {
  ZELTO_TIMESOURCE_GUARD("", Plugin(TimeSourceEntry::kGetName).Name())
}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_GetInfo
const char* ZELTO_PLUGIN_CALL GetInfo(void){
    ZELTO_TIMESOURCE_GUARD("", Plugin(TimeSourceEntry::kGetInfo).Info())}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_Initialize
uint8_t ZELTO_PLUGIN_CALL
    Initialize(void){ZELTO_TIMESOURCE_GUARD(0, Plugin(TimeSourceEntry::kInitialize).Initialize())}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_MicroSecond
uint32_t ZELTO_PLUGIN_CALL MicroSecond(void){
    ZELTO_TIMESOURCE_GUARD(0, Plugin(TimeSourceEntry::kMicroSecond).MicroSecond())}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_Uninitialize
uint8_t ZELTO_PLUGIN_CALL Uninitialize(void){
    ZELTO_TIMESOURCE_GUARD(0, Plugin(TimeSourceEntry::kUninitialize).Uninitialize())}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_ClearEvents
uint8_t ZELTO_PLUGIN_CALL ClearEvents(void){
    ZELTO_TIMESOURCE_GUARD(0, Plugin(TimeSourceEntry::kClearEvents).ClearEvents())}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_SetDroppedFrames
uint8_t ZELTO_PLUGIN_CALL SetDroppedFrames(uint32_t dropped){
    ZELTO_TIMESOURCE_GUARD(0, Plugin(TimeSourceEntry::kSetDroppedFrames).SetDroppedFrames(dropped))}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_SetReference
uint8_t ZELTO_PLUGIN_CALL
    SetReference(int32_t seconds, uint16_t milliseconds){ZELTO_TIMESOURCE_GUARD(
        0, Plugin(TimeSourceEntry::kSetReference).SetReference(seconds, milliseconds))}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_GetReference
uint8_t ZELTO_PLUGIN_CALL
    GetReference(int32_t* seconds, uint16_t* milliseconds){ZELTO_TIMESOURCE_GUARD(
        0, Plugin(TimeSourceEntry::kGetReference).GetReference(seconds, milliseconds))}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_GetReference_timeb
uint8_t ZELTO_PLUGIN_CALL GetReference_timeb(TimeSourceTimeb* reference){ZELTO_TIMESOURCE_GUARD(
    0, Plugin(TimeSourceEntry::kGetReference_timeb).GetReferenceTimeb(reference))}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_GetCurrentTimeStamp
uint8_t ZELTO_PLUGIN_CALL GetCurrentTimeStamp(ImageRecord* record){ZELTO_TIMESOURCE_GUARD(
    0, Plugin(TimeSourceEntry::kGetCurrentTimeStamp).GetCurrentTimeStamp(record))}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_GetRelativeTimeStamp
uint8_t ZELTO_PLUGIN_CALL GetRelativeTimeStamp(ImageRecord* record) {
  ZELTO_TIMESOURCE_GUARD(
      0, Plugin(TimeSourceEntry::kGetRelativeTimeStamp).GetRelativeTimeStamp(record))
}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_ProcessImageData
// Unguarded: its throwing mode is the module's test of an exception from here.
uint8_t ZELTO_PLUGIN_CALL ProcessImageData(ImageRecord* record) {
  return Plugin(TimeSourceEntry::kProcessImageData).ProcessImageData(record);
}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_GetSynchronizationStatus
uint32_t ZELTO_PLUGIN_CALL GetSynchronizationStatus(void){ZELTO_TIMESOURCE_GUARD(
    0, Plugin(TimeSourceEntry::kGetSynchronizationStatus).SynchronizationStatus())}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_IsGPSSupported
uint8_t ZELTO_PLUGIN_CALL IsGPSSupported(void){
    ZELTO_TIMESOURCE_GUARD(0, Plugin(TimeSourceEntry::kIsGPSSupported).GpsSupported())}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_GetGPSData
uint8_t ZELTO_PLUGIN_CALL GetGPSData(uint32_t value, uint8_t flag){
    ZELTO_TIMESOURCE_GUARD(0, Plugin(TimeSourceEntry::kGetGPSData).StartGps(value, flag != 0))}
#endif

#ifndef ZELTO_TIMESOURCE_OMIT_StopReadingGPSData
uint8_t ZELTO_PLUGIN_CALL StopReadingGPSData(void) {
  ZELTO_TIMESOURCE_GUARD(0, Plugin(TimeSourceEntry::kStopReadingGPSData).StopGps())
}
#endif

void ZeltoTimeSource_Reset(void) {
  try {
    TimeSource::Instance().Reset();
  } catch (...) {
  }
}

uint32_t ZeltoTimeSource_Configure(const char* config) {
  if (config == nullptr) return 1;
  ZELTO_TIMESOURCE_GUARD(1, TimeSource::Instance().Configure(config) ? 0u : 1u)
}

void ZeltoTimeSource_GetCounters(ZeltoTimeSourceCounters* counters) {
  if (counters == nullptr) return;
  try {
    TimeSource::Instance().GetCounters(counters);
  } catch (...) {
  }
}

uint32_t ZeltoTimeSource_GetCallLog(uint32_t* entries, uint32_t capacity) {
  if (entries == nullptr) capacity = 0;
  ZELTO_TIMESOURCE_GUARD(0, TimeSource::Instance().GetCallLog(entries, capacity))
}

void ZeltoTimeSource_GetState(ZeltoTimeSourceState* state) {
  if (state == nullptr) return;
  try {
    TimeSource::Instance().GetState(state);
  } catch (...) {
  }
}

void ZeltoTimeSource_GetGps(ZeltoTimeSourceGps* gps) {
  if (gps == nullptr) return;
  try {
    TimeSource::Instance().GetGps(gps);
  } catch (...) {
  }
}

}  // extern "C"
